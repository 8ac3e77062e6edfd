// The vertex stage of the model programs: rigid or skinned position, normal and tangent in eye
// space, the material's light terms for the lit programs, the vertex colour for the reflecting ones.
uniform int nbones;
uniform vec3 bone_c[MAX_BONE];
uniform vec3 bone_t[MAX_BONE];
uniform mat3 bone_r[MAX_BONE];

varying vec3 normal;
varying vec3 viewer;
#ifdef NORMAL_MAP
varying vec3 tangent;
#endif
#ifdef LIT
varying vec4 diffuse;
varying vec4 ambient;
#else
varying vec4 colour;
#endif

// One bone's share of the skinned vertex.
void influence(float weight, float index, inout vec3 p, inout vec3 n, inout vec3 t) {
    int b = int(clamp(index + 0.5, 0.0, float(MAX_BONE - 1)));
    mat3 r = bone_r[b];
    p += weight * (r * (gl_Vertex.xyz - bone_c[b]) + bone_t[b]);
    n += weight * (r * gl_Normal);
    t += weight * (r * gl_MultiTexCoord1.xyz);
}

void main() {
    vec4 p = gl_Vertex;
    vec3 n = gl_Normal;
    vec3 t = gl_MultiTexCoord1.xyz;
    if (nbones > 0) {
        vec3 sp = vec3(0.0), sn = vec3(0.0), st = vec3(0.0);
        vec4 w = gl_MultiTexCoord2, b = gl_MultiTexCoord3;
        influence(w.x, b.x, sp, sn, st);
        influence(w.y, b.y, sp, sn, st);
        influence(w.z, b.z, sp, sn, st);
        influence(w.w, b.w, sp, sn, st);
        p = vec4(sp, 1.0);
        n = sn;
        t = st;
    }
    gl_Position = gl_ModelViewProjectionMatrix * p;
    viewer = vec3(gl_ModelViewMatrix * p);
    normal = gl_NormalMatrix * n;
#ifdef NORMAL_MAP
    tangent = gl_NormalMatrix * t;
#endif
#ifdef LIT
    diffuse = gl_FrontMaterial.diffuse * gl_LightSource[0].diffuse;
    ambient = gl_FrontMaterial.ambient * gl_LightSource[0].ambient +
              gl_LightModel.ambient * gl_FrontMaterial.ambient;
    ambient.a = min(ambient.a, 1.0);
#else
    colour = gl_Color;
#endif
    gl_TexCoord[0] = gl_MultiTexCoord0;
}
