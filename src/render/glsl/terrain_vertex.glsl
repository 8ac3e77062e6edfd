// The vertex stage of "terrain": the sun's terms without the global ambient, the eye position.
varying vec3 viewer;
varying vec4 diffuse;
varying vec4 ambient;

void main() {
    gl_Position = ftransform();
    viewer = vec3(gl_ModelViewMatrix * gl_Vertex);
    diffuse = gl_FrontMaterial.diffuse * gl_LightSource[0].diffuse;
    ambient = gl_FrontMaterial.ambient * gl_LightSource[0].ambient;
    ambient.a = min(ambient.a, 1.0);
    gl_TexCoord[0] = gl_MultiTexCoord0;
}
