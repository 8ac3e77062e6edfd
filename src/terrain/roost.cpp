// Roost particles: a fixed pool of 2000, thrown off wheel treads and splashed out of wet
// ground by the surface's roost types, flown ballistically with drag, grown and faded.
#include "terrain/roost.h"

#include "common/common.h"
#include "common/random.h"
#include "terrain/terrain.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr float k_dt = static_cast<float>(k_tic_length); // s
constexpr float k_gravity_f = static_cast<float>(k_gravity);
// A tread that is not spinning against the bike's travel throws only a thin spray.
constexpr float k_narrow_fan = 0.049087387f; // rad, pi / 64
constexpr float k_half_root = 0.70710677f;   // the two side sprays of a splash share the speed

// One particle of dirt: where it flies and the roost type of the ground's surface types that
// throws, grows and fades it.
struct particle {
    float position[3] = {};           // ft
    float velocity[3] = {};           // ft/s
    const roost_type* type = nullptr; // while it flies
    int next = -1;                    // the next particle of its list
};

struct roost_state {
    particle particles[k_roost_particles];
    roost_card cards[k_roost_particles];
    int free_head = 0;    // first free particle, -1 when all fly
    int active_head = -1; // first flying one
    int active = 0;
    int frequency = 1000;      // hundredths of a batch per tic
    int ground_generation = 0; // of the ground whose surface types the particles refer to
};

roost_state fresh_state(int frequency) {
    roost_state s;
    for (int i = 0; i < k_roost_particles; i++) {
        s.particles[i].next = i + 1 < k_roost_particles ? i + 1 : -1;
        s.cards[i].texture = 0;
    }
    s.frequency = frequency;
    return s;
}

roost_state g_roost = fresh_state(1000);

// Uniform values from the shared generator: 24 bits for angles and scatter, 31 for the counts
// and speed scales.
float uniform24() { return static_cast<float>(random_next() & 0xFFFFFFu) * 5.960465e-08f; }
float uniform31() {
    return static_cast<float>(static_cast<double>(random_next() & 0x7FFFFFFFu) / 2147483648.0);
}

vec3 of(const float v[3]) { return {v[0], v[1], v[2]}; }

// Scatter of `randomize` around a velocity: each axis a uniform value less a half.
vec3 scatter(float randomize) {
    float u1 = uniform24(), u2 = uniform24(), u3 = uniform24();
    return vec3{u1 - 0.5f, u2 - 0.5f, u3 - 0.5f} * randomize;
}

void spawn(vec3 p, vec3 v, const roost_type& type) {
    const float position[3] = {p.x, p.y, p.z}, velocity[3] = {v.x, v.y, v.z};
    roost_spawn(position, velocity, type);
}

// Two side sprays of wet ground, alternating from tic to tic.
void emit_splash(const roost_wheel& w, const roost_type& type, int count, int tic) {
    const vec3 v = of(w.velocity), n = of(w.normal);
    const vec3 along = v - n * dot(n, v);
    const float speed = std::sqrt(dot(along, along));
    const vec3 t = speed > 0 ? along * (1 / speed) : vec3{0, 0, 0};
    const vec3 side = cross(n, t);
    const vec3 plus = (n + side) * (speed * k_half_root);
    const vec3 minus = (n - side) * (speed * k_half_root);
    for (int j = 0; j < count; j++) {
        const vec3 d = ((j ^ tic) & 1) == 0 ? plus : minus;
        const vec3 start = of(w.point) + d * (static_cast<float>(j) / count * k_dt);
        const vec3 spread = scatter(type.randomize);
        const float scale = uniform31() * type.vscale;
        spawn(start, (d + spread) * scale, type);
    }
}

// A fan of dirt off the tread: points of the contact turned back about the axle by up to the
// fan angle, each flying at the tread's speed there.
void emit_fan(const roost_wheel& w, const roost_type& type, int count, float cap) {
    const vec3 u = of(w.point_velocity), v = of(w.velocity);
    if (type.slip_threshold * type.slip_threshold > dot(u, u)) return;
    float fan = k_narrow_fan;
    if (dot(u, v) < 0) {
        const vec3 spin = of(w.spin);
        const float w2 = dot(spin, spin);
        const float slow2 = type.slow_speed * type.slow_speed;
        const float span = type.fast_speed * type.fast_speed - slow2;
        const float k =
            span != 0 ? std::clamp((w2 - slow2) / span, 0.0f, 1.0f) : (w2 >= slow2 ? 1.0f : 0.0f);
        fan = std::min(type.slow_angle + k * (type.fast_angle - type.slow_angle), cap);
    }
    const vec3 b = of(w.centre), k = of(w.axle), p = of(w.point) - b;
    for (int j = 0; j < count; j++) {
        const float theta = uniform24() * fan;
        const float c = std::cos(theta), s = std::sin(theta);
        // p turned by -theta about the axle.
        const vec3 turned = p * c - cross(k, p) * s + k * ((1 - c) * dot(k, p));
        const vec3 q = b + turned;
        const vec3 at_q = v + cross(of(w.spin), turned);
        const vec3 start = q + at_q * (static_cast<float>(j) / count * k_dt);
        const vec3 spread = scatter(type.randomize);
        spawn(start, (at_q + spread) * type.vscale, type);
    }
}
} // namespace

void roost_set_frequency(int hundredths) { g_roost.frequency = std::clamp(hundredths, 0, 1000); }
int roost_frequency() { return g_roost.frequency; }

void roost_reset() { g_roost = fresh_state(g_roost.frequency); }

void roost_emit_bike(const roost_wheel& front, const roost_wheel& rear, int tic) {
    const int f = g_roost.frequency;
    int batch = f / 100;
    if (random_next() % 100u < static_cast<uint32_t>(f % 100)) batch++;
    if (batch == 0) return;
    roost_emit_wheel(front, batch, k_roost_front_cap, tic);
    roost_emit_wheel(rear, batch, k_roost_rear_cap, tic);
}

void roost_emit_wheel(const roost_wheel& wheel, int batch, float cap, int tic) {
    if (!wheel.touching || ground().surfaces.count == 0) return;
    const surface_type& surface = surface_type_get(surface_type_at(wheel.point[0], wheel.point[2]));
    for (const roost_type& type : surface.roost) {
        if (type.mode == 0) break;
        // Counts beyond the batch, or that are no number at all, are cut before they are whole.
        const float whole = std::floor(type.count);
        int count = whole > 0 ? static_cast<int>(std::min(whole, static_cast<float>(batch))) : 0;
        if (uniform31() < type.count - whole) count++;
        count = std::min(count, batch);
        if (count <= 0) continue;
        if (type.mode == 2)
            emit_splash(wheel, type, count, tic);
        else
            emit_fan(wheel, type, count, cap);
    }
}

bool roost_spawn(const float position[3], const float velocity[3], const roost_type& type) {
    roost_state& r = g_roost;
    const int i = r.free_head;
    if (i < 0) return false;
    particle& p = r.particles[i];
    r.free_head = p.next;
    for (int k = 0; k < 3; k++) {
        p.position[k] = position[k];
        p.velocity[k] = velocity[k];
    }
    p.type = &type;
    r.ground_generation = ground().generation;
    roost_card& c = r.cards[i];
    c.x = position[0];
    c.y = position[1];
    c.z = position[2];
    c.size = type.size;
    c.texture = type.texture;
    const uint8_t colour[4] = {type.r, type.g, type.b, type.a};
    for (int k = 0; k < 4; k++) c.colour[k] = colour[k];
    p.next = r.active_head;
    r.active_head = i;
    r.active++;
    return true;
}

void roost_update() {
    // The particles' roost types went with the ground they were thrown from.
    if (g_roost.active > 0 && g_roost.ground_generation != ground().generation) roost_reset();
    roost_state& r = g_roost;
    const bool has_ground = ground().field.heights != nullptr;
    int* link = &r.active_head;
    while (*link >= 0) {
        const int i = *link;
        particle& p = r.particles[i];
        roost_card& c = r.cards[i];
        for (int k = 0; k < 3; k++) p.position[k] += p.velocity[k] * k_dt;
        const roost_type& type = *p.type;
        for (int k = 0; k < 3; k++) p.velocity[k] -= p.velocity[k] * (k_dt * type.drag);
        p.velocity[1] -= k_gravity_f * k_dt;
        c.x = p.position[0];
        c.y = p.position[1];
        c.z = p.position[2];
        c.size += k_dt * type.grow;
        const int8_t fade[4] = {type.fade_r, type.fade_g, type.fade_b, type.fade_a};
        for (int k = 0; k < 4; k++)
            c.colour[k] = static_cast<uint8_t>(std::clamp(c.colour[k] + fade[k], 0, 255));
        // A rising particle stays even below the ground; a falling one goes once under it.
        const bool gone = p.velocity[1] < 0 && has_ground &&
                          p.position[1] < ground_height_at(p.position[0], p.position[2]);
        if (!gone) {
            link = &p.next;
            continue;
        }
        c.texture = 0;
        *link = p.next;
        p.next = r.free_head;
        r.free_head = i;
        r.active--;
    }
}

int roost_active_count() { return g_roost.active; }

const roost_card& roost_card_at(int particle) { return g_roost.cards[particle]; }

void roost_particle_motion(int index, float position[3], float velocity[3]) {
    const particle& p = g_roost.particles[index];
    for (int k = 0; k < 3; k++) {
        position[k] = p.position[k];
        velocity[k] = p.velocity[k];
    }
}
