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
struct world_state {
    dWorldID world = nullptr;
    dJointGroupID contacts = nullptr;
    // Bikes stay where they were made: ODE holds pointers to their joint feedback.
    std::vector<std::unique_ptr<bike_state>> bikes;
    const bike_resource_loader* loader = &k_bike_loader_null;
};
world_state g_world;
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
        for (int i = 0; i < static_cast<int>(g_world.bikes.size()); i++)
            if (g_world.bikes[i]) bike_destroy(i);
        g_world.bikes.clear();
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
    // The lowest free handle, so the same sequence of creations gives the same handles.
    int n = static_cast<int>(g_world.bikes.size());
    int handle = n;
    for (int i = 0; i < n; i++)
        if (!g_world.bikes[i]) {
            handle = i;
            break;
        }
    if (handle == n) g_world.bikes.emplace_back();
    g_world.bikes[handle] = std::make_unique<bike_state>();
    return handle;
}

void bike_slot_free(int bike) {
    if (bike_live(bike)) g_world.bikes[bike].reset();
}

bool bike_live(int bike) {
    return bike >= 0 && bike < static_cast<int>(g_world.bikes.size()) && g_world.bikes[bike];
}

bike_state& bike_at(int bike) {
    TB_ASSERT(bike_live(bike));
    return *g_world.bikes[bike];
}

int bike_handle_limit() { return static_cast<int>(g_world.bikes.size()); }
