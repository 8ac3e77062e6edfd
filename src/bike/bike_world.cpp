// The rigid-body world, its contact group and clock, and the table of live bikes.
#include "bike/bike_local.h"
#include "bike/bike_sim.h"

#include "common/common.h"

#include <memory>
#include <vector>

// Bit-identical replays need the double-precision build of the library.
static_assert(sizeof(dReal) == sizeof(double), "ODE must be built in double precision");

namespace {
struct world_state {
    dWorldID world = nullptr;
    dJointGroupID contacts = nullptr;
    int clock = 0; // tics
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
    dWorldSetGravity(g_world.world, 0, -32, 0);
    g_world.contacts = dJointGroupCreate(0);
    g_world.clock = 0;
}

void world_destroy() {
    if (!g_world.world) return;
    for (int i = 0; i < static_cast<int>(g_world.bikes.size()); i++)
        if (g_world.bikes[i]) bike_destroy(i);
    g_world.bikes.clear();
    dJointGroupDestroy(g_world.contacts);
    dWorldDestroy(g_world.world);
    dCloseODE();
    g_world.world = nullptr;
    g_world.contacts = nullptr;
    g_world.clock = 0;
}

void world_step() {
    dWorldStep(g_world.world, k_tic_length);
    dJointGroupEmpty(g_world.contacts);
    g_world.clock++;
}

bool world_exists() { return g_world.world != nullptr; }
dWorldID world_id() { return g_world.world; }
dJointGroupID world_contact_group() { return g_world.contacts; }
int world_clock() { return g_world.clock; }
void world_set_clock(int tic) { g_world.clock = tic; }

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
bike_state& bike_at(int bike) { return *g_world.bikes[bike]; }
int bike_handle_limit() { return static_cast<int>(g_world.bikes.size()); }
