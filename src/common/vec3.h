// Three-component vectors: double for the simulation (the rigid bodies work in double), float for
// stored geometry, with the few operations every subsystem uses.
#pragma once

#include <cmath>
#include <type_traits>

template <typename T> struct vec3_of {
    T x = 0;
    T y = 0;
    T z = 0;
};
using vec3 = vec3_of<float>;
using vec3d = vec3_of<double>;

template <typename T> constexpr vec3_of<T> operator+(vec3_of<T> a, vec3_of<T> b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
template <typename T> constexpr vec3_of<T> operator-(vec3_of<T> a, vec3_of<T> b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
template <typename T> constexpr vec3_of<T> operator*(vec3_of<T> a, std::type_identity_t<T> s) {
    return {a.x * s, a.y * s, a.z * s};
}
template <typename T> constexpr T dot(vec3_of<T> a, vec3_of<T> b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
template <typename T> constexpr vec3_of<T> cross(vec3_of<T> a, vec3_of<T> b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
template <typename T> T length(vec3_of<T> a) { return std::sqrt(dot(a, a)); }
// The unit vector along v; the zero vector stays zero.
template <typename T> vec3_of<T> normalized(vec3_of<T> v) {
    const T l = length(v);
    return l > 0 ? v * (1 / l) : vec3_of<T>{};
}
// The other precision, component by component.
inline vec3d to_double(vec3 v) { return {v.x, v.y, v.z}; }
inline vec3 to_float(vec3d v) {
    return {static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)};
}
