// The fragment stage of "terrain_normals": a decal's normal turned onto the ground beneath it,
// written as a ground normal with the ground's lit value kept.
uniform sampler2D tex;
uniform sampler2D base;
varying vec2 tc;

void main() {
    // The decal's axes on the square follow from how its s coordinate runs across it.
    vec2 m0 = vec2(dFdx(gl_TexCoord[0].s), -dFdy(gl_TexCoord[0].s));
    float run = length(m0);
    m0 = run > 0.0 ? m0 / run : vec2(1.0, 0.0);
    vec2 m1 = vec2(-m0.y, m0.x);
    vec4 c = texture2D(tex, gl_TexCoord[0].st);
    // Green is the decal's v component, blue its up component.
    vec3 n = vec3(c.r, c.b, c.g) * 2.0 - 1.0;
    n.x = -n.x;
    vec2 across_decal = vec2(n.x, n.z);
    n.x = dot(across_decal, m0);
    n.z = dot(across_decal, m1);
    vec4 below = texture2D(base, tc);
    vec3 g = below.rgb * 2.0 - 1.0;
    g.y = sqrt(max(1.0 - g.x * g.x - g.z * g.z, 0.0));
    float lit = below.g;
    vec3 r0 = vec3(1.0, 0.0, 0.0);
    vec3 r1 = g;
    vec3 r2 = normalize(cross(r0, r1));
    r0 = normalize(cross(r1, r2));
    n = normalize(r0 * n.x + r1 * n.y + r2 * n.z);
    // The stored form keeps y from x and z: the normal never lies flatter than it can hold.
    float across = length(n.xz);
    if (across > 126.0 / 128.0) {
        n.y = 0.0;
        n.xz *= (126.0 / 128.0) / across;
    }
    vec3 stored = (n + 1.0) * 0.5;
    gl_FragColor = vec4(stored.r, lit, stored.b, c.a);
}
