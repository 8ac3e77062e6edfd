// The fragment stage of "terrain": the composed normal map lights the composed colour per pixel,
// its green channel the lit value (1 - shadow); the specular tile gives strength and exponent.
uniform sampler2D tex;
uniform sampler2D nmap;
uniform sampler2D smap;
varying vec3 viewer;
varying vec4 diffuse;
varying vec4 ambient;

void main() {
    vec2 at = gl_TexCoord[0].st;
    vec3 stored = texture2D(nmap, at).rgb;
    float lit = stored.g;
    vec3 n = stored * 2.0 - 1.0;
    n.y = sqrt(max(1.0 - n.z * n.z - n.x * n.x, 0.0));
    n = normalize(gl_NormalMatrix * n);
    vec2 sun = sun_terms(n, viewer);
    float ndl = sun.x, rdl = sun.y;
    vec4 picture = texture2D(tex, at);
    vec4 colour = (ambient + diffuse * ndl * lit) * picture;
    vec4 s = texture2D(smap, at);
    colour.rgb += s.r * gl_LightSource[0].specular.rgb * pow(rdl, s.g * 128.0 + 0.125) * lit;
    colour.rgb = fogged(colour.rgb);
    gl_FragColor = colour;
}
