// The fragment stage of "env" and "norm_env": the world reflection looked up in the angular
// environment picture (straight up at its centre, the horizon at radius 0.25, down at the rim).
uniform sampler2D tex;
uniform mat3 envmat;
varying vec3 viewer;
varying vec4 colour;

void main() {
    vec3 n = surface_normal();
    vec3 r = normalize(envmat * reflect(viewer, n));
    // Straight up or down the direction across is any: up lands in the middle whatever it is,
    // down on the rim.
    float across = length(r.xz);
    vec2 direction = across > 0.0 ? r.xz / across : vec2(1.0, 0.0);
    vec2 at = direction * acos(clamp(r.y, -1.0, 1.0)) * 0.15915494309189535 + 0.5;
    gl_FragColor = texture2D(tex, at) * colour;
}
