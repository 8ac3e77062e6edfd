// The vertex stage of "terrain_normals": the decal's own coordinates, and where the vertex lies
// in the ground's data texture (texture matrix 1).
varying vec2 tc;

void main() {
    gl_Position = ftransform();
    gl_TexCoord[0] = gl_MultiTexCoord0;
    vec4 q = gl_TextureMatrix[1] * gl_Vertex;
    tc = q.xy / q.w;
}
