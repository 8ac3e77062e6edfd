// The surface normal of the model programs: interpolated, or bent by the normal map in the
// frame of the tangent.
#ifdef NORMAL_MAP
uniform sampler2D nmap;
varying vec3 tangent;
#endif
varying vec3 normal;

vec3 surface_normal() {
    vec3 n = normalize(normal);
#ifdef NORMAL_MAP
    vec3 t = normalize(tangent - n * dot(n, tangent));
    vec3 b = cross(n, t);
    vec3 m = texture2D(nmap, gl_TexCoord[0].st).rgb * 2.0 - 1.0;
    n = normalize(mat3(t, b, n) * m);
#endif
    return n;
}
