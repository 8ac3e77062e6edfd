// The fog of the fixed-function pipeline's exponential mode, by the fragment's depth.
vec3 fogged(vec3 colour) {
    float z = gl_FragCoord.z / gl_FragCoord.w;
    float factor = clamp(exp2(-1.4426950408889634 * gl_Fog.density * z), 0.0, 1.0);
    return mix(gl_Fog.color.rgb, colour, factor);
}
