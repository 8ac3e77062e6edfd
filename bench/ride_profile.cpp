// A fixed riding run on rabbithill for profilers: the time per bike-tic and a digest of all bikes.
//
// ride_profile [bikes [tics]]: puts the bikes on the start grid, rides them for the given tics
// at half throttle with a little steering (so they lean into each other), and prints the cost
// and two RIPEMD-160s: "digest" of every body's state at the end (just after a return to the grid
// when the tics are a multiple of 640), and "ridden" of every body's state just before each
// return to the grid and at the end. Two builds that print the same ridden digest ride
// identically. With "census" it also counts, before every step, the joints the step solves and
// the islands they join the bodies into (the counting is left out of the time).
#include "bike/bike.h"
#include "bike/bike_bench.h"

#include "common/common.h"
#include "common/ripemd160.h"
#include "files/data_file.h"
#include "race/race.h"
#include "terrain/terrain.h"
#include "track/track.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {
void bikes_digest_update(ripemd160_state& h, const std::vector<int>& bikes) {
    for (int b : bikes) {
        bike_digest_update(h, b);
        int crashes = crash_count(b);
        ripemd160_update(h, &crashes, sizeof crashes);
    }
}

std::string digest_hex(ripemd160_state& h) {
    uint8_t digest[20];
    ripemd160_final(h, digest);
    return ripemd160_hex(digest);
}

// The censuses of a run: sums over the tics, and the largest island seen.
struct census_totals {
    world_census sum;
    int largest_island = 0;
    int tics = 0;
};

void census_add(census_totals& t, const world_census& c) {
    world_census& s = t.sum;
    s.bodies += c.bodies;
    s.bike_joints += c.bike_joints;
    s.tyre_contacts += c.tyre_contacts;
    s.ground_contacts += c.ground_contacts;
    s.own_contacts += c.own_contacts;
    s.bike_contacts += c.bike_contacts;
    s.motors += c.motors;
    s.islands += c.islands;
    s.largest_island += c.largest_island;
    t.largest_island = std::max(t.largest_island, c.largest_island);
    t.tics++;
}

void census_print(const census_totals& t, int count) {
    const world_census& s = t.sum;
    double bike_tics = double(t.tics) * count;
    std::printf("per bike-tic: bike joints %.2f  tyre contacts %.2f  other ground contacts %.2f  "
                "own-bike contacts %.2f  bike-bike contacts %.2f  motors %.2f\n",
                s.bike_joints / bike_tics, s.tyre_contacts / bike_tics,
                s.ground_contacts / bike_tics, s.own_contacts / bike_tics,
                s.bike_contacts / bike_tics, s.motors / bike_tics);
    std::printf("per tic: islands %.2f  bodies per island %.2f  largest island %.2f bodies "
                "(at most %d)\n",
                double(s.islands) / t.tics, double(s.bodies) / std::max(s.islands, 1),
                double(s.largest_island) / t.tics, t.largest_island);
}
} // namespace

int main(int argc, char** argv) {
    int count = argc > 1 ? std::atoi(argv[1]) : 40;
    int tics = argc > 2 ? std::atoi(argv[2]) : 1280;
    bool census = argc > 3 && std::strcmp(argv[3], "census") == 0;
    if (count < 1 || count > 160 || tics < 1 || (argc > 3 && !census)) {
        std::fprintf(stderr, "usage: ride_profile [bikes 1-160 [tics [census]]]\n");
        return 1;
    }
    setenv("QV_HOME", TB_GAME_DIR, 1);
    files_free();
    if (!track_load("rabbithill")) {
        std::fprintf(stderr, "rabbithill did not load\n");
        return 1;
    }
    world_create();
    std::vector<int> bikes;
    for (int i = 0; i < count; i++)
        bikes.push_back(bike_create("yz250f(2017)", i, "1", "", "", "", ""));
    for (int i = 0; i < count; i++) race_place_on_grid(bikes[i], i);
    ripemd160_state ridden;
    ripemd160_init(ridden);
    census_totals totals;
    std::chrono::steady_clock::duration counting{};
    auto begun = std::chrono::steady_clock::now();
    int touched = 0;
    for (int t = 0; t < tics; t++) {
        for (int i = 0; i < count; i++) {
            rider_input in;
            in.throttle = 0.5f;
            in.clutch = 1;
            // Neighbours steer in turn towards each other now and then, so they rub.
            in.steer = (t / 256) % 2 == 1 ? ((i % 2) ? 0.3f : -0.3f) : 0.0f;
            rider_input_apply(bikes[i], in);
        }
        touched += bikes_collide_all(bikes.data(), count, bike_tic{t});
        if (census) {
            auto from = std::chrono::steady_clock::now();
            census_add(totals, world_census_take());
            counting += std::chrono::steady_clock::now() - from;
        }
        world_step();
        for (int b : bikes) bike_prepare(b, bike_tic{t + 1});
        if ((t + 1) % 640 == 0) {
            bikes_digest_update(ridden, bikes);
            for (int i = 0; i < count; i++) race_place_on_grid(bikes[i], i);
        }
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begun - counting).count();
    std::printf("bikes %d tics %d touching pairs %d\n", count, tics, touched);
    std::printf("per_bike_tic %.2f us  real_time_multiple %.2f\n",
                seconds * 1e6 / (double(tics) * count), tics * k_tic_length / seconds);
    ripemd160_state end;
    ripemd160_init(end);
    bikes_digest_update(end, bikes);
    bikes_digest_update(ridden, bikes);
    if (census) census_print(totals, count);
    std::printf("digest %s\n", digest_hex(end).c_str());
    std::printf("ridden %s\n", digest_hex(ridden).c_str());
    world_destroy();
    bike_tables_free();
    track_unload();
    files_free();
    return 0;
}
