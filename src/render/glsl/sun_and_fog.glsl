// What the lit fragment stages share: the sun's diffuse and mirror terms, and the fog.

// The sun's diffuse term (n . light) and mirror term (the reflected view along the light), both 0
// on the side away from the sun.
vec2 sun_terms(vec3 n, vec3 viewer) {
    vec3 light = normalize(gl_LightSource[0].position.xyz);
    float ndl = dot(n, light);
    float rdl = max(dot(reflect(normalize(viewer), n), light), 0.0);
    if (ndl < 0.0) return vec2(0.0);
    return vec2(ndl, rdl);
}

// The fog of the fixed-function pipeline's exponential mode, by the fragment's depth.
vec3 fogged(vec3 colour) {
    float z = gl_FragCoord.z / gl_FragCoord.w;
    float factor = clamp(exp2(-1.4426950408889634 * gl_Fog.density * z), 0.0, 1.0);
    return mix(gl_Fog.color.rgb, colour, factor);
}
