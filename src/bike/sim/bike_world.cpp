// The rigid-body world, its contact group, and the table of live bikes.
#include "bike/sim/bike_local.h"

#include "bike/contact/bike_contact.h"
#include "bike/replication/state_history.h"
#include "bike/rider/bike_rider.h"

#include <memory>
#include <vector>

// Bit-identical replays need the double-precision build of the library.
static_assert(sizeof(dReal) == sizeof(double), "ODE must be built in double precision");

namespace {
// A handle is a place in the table and that place's generation: handle = generation ·
// k_bike_places + place. Handles stay non-negative ints, and a destroyed bike's handle stops
// naming anything once its place is reused.
constexpr int k_bike_place_bits = 12;
constexpr int k_bike_places = 1 << k_bike_place_bits;
constexpr int k_bike_generations = 1 << (31 - k_bike_place_bits);

// One place of the table: its bike, if any, and how many bikes it has held before.
struct bike_place_entry {
    std::unique_ptr<bike_state> bike; // stays where it was made: ODE points into it
    int generation = 0;
};

struct world_state {
    dWorldID world = nullptr;
    dJointGroupID contacts = nullptr;
    // Kept through world_destroy, so a handle from an earlier world is stale in the next.
    std::vector<bike_place_entry> places;
    const bike_resource_loader* loader = &k_bike_loader_null;
};
world_state g_world;

int handle_of(int place) { return g_world.places[place].generation * k_bike_places + place; }
} // namespace

void world_create() {
    if (g_world.world) return;
    dInitODE2(0);
    g_world.world = dWorldCreate();
    // ODE's own error reduction and constraint mixing are kept.
    dWorldSetGravity(g_world.world, 0, -k_gravity, 0);
    g_world.contacts = dJointGroupCreate(0);
}

void world_destroy() {
    if (g_world.world) {
        for (int place = 0; place < bike_place_limit(); place++) bike_destroy(bike_at_place(place));
        dJointGroupDestroy(g_world.contacts);
        dWorldDestroy(g_world.world);
        dCloseODE();
        g_world.world = nullptr;
        g_world.contacts = nullptr;
    }
    // Everything else the simulation keeps goes with the world, so a new one starts clean.
    history_clear_all();
    statue_buckets_clear();
    contact_scratch_free();
    rider_rules_reset();
    rider_inputs_reset();
}

void world_step() {
    TB_ASSERT(g_world.world);
    dWorldStep(g_world.world, k_tic_length);
    dJointGroupEmpty(g_world.contacts);
}

bool world_exists() { return g_world.world != nullptr; }
dWorldID world_id() { return g_world.world; }
dJointGroupID world_contact_group() { return g_world.contacts; }

void bike_set_resource_loader(const bike_resource_loader* loader) {
    g_world.loader = loader ? loader : &k_bike_loader_null;
}
const bike_resource_loader& bike_resource_loader_current() { return *g_world.loader; }

int bike_slot_new() {
    // The lowest free place, so the same sequence of creations gives the same places.
    int n = bike_place_limit();
    int place = n;
    for (int i = 0; i < n; i++)
        if (!g_world.places[i].bike) {
            place = i;
            break;
        }
    TB_ASSERT(place < k_bike_places);
    if (place == n) g_world.places.emplace_back();
    g_world.places[place].bike = std::make_unique<bike_state>();
    return handle_of(place);
}

void bike_slot_free(int bike) {
    if (!bike_live(bike)) return;
    bike_place_entry& e = g_world.places[bike_handle_place(bike)];
    e.bike.reset();
    // Wrapping after half a million bikes in one place leaves only a far older handle unnoticed.
    e.generation = (e.generation + 1) % k_bike_generations;
}

bool bike_live(int bike) {
    if (bike < 0) return false;
    int place = bike_handle_place(bike);
    return place < bike_place_limit() && g_world.places[place].bike && handle_of(place) == bike;
}

bike_state& bike_at(int bike) {
    TB_ASSERT(bike_live(bike));
    return *g_world.places[bike_handle_place(bike)].bike;
}

int bike_handle_place(int bike) {
    TB_ASSERT(bike >= 0);
    return bike % k_bike_places;
}

int bike_place_limit() { return static_cast<int>(g_world.places.size()); }

int bike_at_place(int place) {
    TB_ASSERT(place >= 0 && place < bike_place_limit());
    return g_world.places[place].bike ? handle_of(place) : -1;
}
