// The fragment stage of "lit", "norm_lit" and "norm_spec_lit": the sun's diffuse and specular
// light per pixel over the texture, then fog.
uniform sampler2D tex;
#ifdef SPECULAR_MAP
uniform sampler2D smap;
#endif
varying vec3 viewer;
varying vec4 diffuse;
varying vec4 ambient;

void main() {
    vec3 n = surface_normal();
    vec2 sun = sun_terms(n, viewer);
    float ndl = sun.x, rdl = sun.y;
    vec4 picture = texture2D(tex, gl_TexCoord[0].st);
    vec4 colour = (ambient + diffuse * ndl) * picture;
    // The material's own alpha, as the fixed-function pipeline takes it: a rider faded to half
    // is drawn at half, where the two ambient terms' alphas would add up to opaque.
    colour.a = diffuse.a * picture.a;
    vec3 specular = gl_FrontMaterial.specular.rgb;
    float exponent = gl_FrontMaterial.shininess;
#ifdef SPECULAR_MAP
    // A fully opaque specular map keeps the material's exponent.
    vec4 s = texture2D(smap, gl_TexCoord[0].st);
    specular = s.rgb;
    float mapped = s.a * 128.0 + 0.125;
    if (mapped < 127.875) exponent = mapped;
#endif
    colour.rgb += specular * gl_LightSource[0].specular.rgb * pow(rdl, exponent);
    colour.rgb = fogged(colour.rgb);
    gl_FragColor = colour;
}
