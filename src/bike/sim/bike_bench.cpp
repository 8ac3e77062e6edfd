// The bare rigid-body floor of a tic and the census of the world step, for the benchmarks.
#include "bike/bike_bench.h"

#include "bike/contact/bike_contact.h"
#include "bike/rider/bike_rider.h"
#include "bike/sim/bike_local.h"

#include <algorithm>
#include <utility>
#include <vector>

void bike_floor_joints(int bike) {
    bike_state& b = bike_at(bike);
    const bike_info& info = bike_info_at(b.catalogue_index);
    vec3d up = {0, 1, 0};
    for (const wheel_part* w : {&b.front_wheel, &b.rear_wheel}) {
        vec3d c = vec_of(dBodyGetPosition(w->wheel));
        double depth = std::max(0.0, w->rim_radius + w->tyre_radius - c.y);
        double k = 0, damping = 0;
        tyre_softness(depth, w->tyre_radius, &k, &damping);
        vec3d across = cross(up, body_axis(w->wheel, 0));
        double l = length(across);
        across = l > 0 ? across * (1 / l) : vec3d{};
        contact_joint_make(w->wheel, nullptr, {c.x, 0, c.z}, up, depth, 1, k, damping, across);
    }
    dBodyID frame = b.bodies[body_frame], rider = b.bodies[body_rider];
    vec3d place = vec_of(info.rider_position) - vec_of(info.frame_position);
    dVector3 seat;
    dBodyGetRelPointPos(frame, place.x, place.y, place.z, seat);
    vec3d at = vec_of(dBodyGetPosition(rider));
    vec3d d = vec_of(seat) - at;
    for (int axis : {2, 1}) {
        vec3d n = body_axis(frame, axis);
        double e = dot(d, n);
        contact_joint_make(rider, frame, at, n * (e >= 0 ? 1.0 : -1.0), std::fabs(e), 0, 2500, 250,
                           {});
    }
    angular_motor(frame, body_axis(frame, 2), 0, 1000);
}

namespace {
// Union-find over the census's bodies.
int island_root(std::vector<int>& parent, int i) {
    while (parent[i] != i) i = parent[i] = parent[parent[i]];
    return i;
}
} // namespace

world_census world_census_take() {
    world_census out;
    // Every enabled body with the bike it belongs to, sorted for lookup.
    std::vector<std::pair<dBodyID, int>> bodies;
    for (int place = 0; place < bike_place_limit(); place++) {
        int h = bike_at_place(place);
        if (h < 0) continue;
        for (dBodyID body : bike_at(h).bodies)
            if (dBodyIsEnabled(body)) bodies.push_back({body, h});
    }
    std::sort(bodies.begin(), bodies.end());
    auto find = [&](dBodyID body) {
        auto it = std::lower_bound(bodies.begin(), bodies.end(), std::make_pair(body, -1));
        return it != bodies.end() && it->first == body ? static_cast<int>(it - bodies.begin()) : -1;
    };
    int n = static_cast<int>(bodies.size());
    out.bodies = n;
    std::vector<int> parent(n);
    for (int i = 0; i < n; i++) parent[i] = i;
    for (int i = 0; i < n; i++) {
        dBodyID body = bodies[i].first;
        int count = dBodyGetNumJoints(body);
        for (int k = 0; k < count; k++) {
            dJointID j = dBodyGetJoint(body, k);
            dBodyID b0 = dJointGetBody(j, 0), b1 = dJointGetBody(j, 1);
            // Each joint is counted at its first body that is not the world.
            if ((b0 ? b0 : b1) != body) continue;
            int other = find(b0 == body ? b1 : b0);
            if (other >= 0) parent[island_root(parent, i)] = island_root(parent, other);
            const bike_state& owner = bike_at(bodies[i].second);
            bool own = std::find(std::begin(owner.joints), std::end(owner.joints), j) !=
                       std::end(owner.joints);
            bool wheel =
                body == owner.bodies[body_front_wheel] || body == owner.bodies[body_rear_wheel];
            if (own)
                out.bike_joints++;
            else if (dJointGetType(j) == dJointTypeAMotor)
                out.motors++;
            else if (other < 0)
                (wheel ? out.tyre_contacts : out.ground_contacts)++;
            else if (bodies[other].second == bodies[i].second)
                out.own_contacts++;
            else
                out.bike_contacts++;
        }
    }
    std::vector<int> size(n, 0);
    for (int i = 0; i < n; i++) size[island_root(parent, i)]++;
    for (int s : size)
        if (s > 0) {
            out.islands++;
            out.largest_island = std::max(out.largest_island, s);
        }
    return out;
}
