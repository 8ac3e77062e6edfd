// A fixed riding run on rabbithill for profilers: the time per bike-tic and a digest of all bikes.
//
// ride_profile [bikes [tics]]: puts the bikes on the start grid, rides them for the given tics
// at half throttle with a little steering (so they lean into each other), and prints the cost
// and two RIPEMD-160s: "digest" of every body's state at the end (just after a return to the grid
// when the tics are a multiple of 640), and "ridden" of every body's state just before each
// return to the grid and at the end. Two builds that print the same ridden digest ride
// identically.
#include "bike/bike.h"

#include "common/common.h"
#include "common/ripemd160.h"
#include "files/data_file.h"
#include "race/race.h"
#include "terrain/terrain.h"
#include "track/track.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
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
} // namespace

int main(int argc, char** argv) {
    int count = argc > 1 ? std::atoi(argv[1]) : 40;
    int tics = argc > 2 ? std::atoi(argv[2]) : 1280;
    if (count < 1 || count > 160 || tics < 1) {
        std::fprintf(stderr, "usage: ride_profile [bikes 1-160 [tics]]\n");
        return 1;
    }
    setenv("QV_HOME", TB_GAME_DIR, 1);
    files_free_all();
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
        world_step();
        for (int b : bikes) bike_prepare(b, bike_tic{t + 1});
        if ((t + 1) % 640 == 0) {
            bikes_digest_update(ridden, bikes);
            for (int i = 0; i < count; i++) race_place_on_grid(bikes[i], i);
        }
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
    std::printf("bikes %d tics %d touching pairs %d\n", count, tics, touched);
    std::printf("per_bike_tic %.2f us  real_time_multiple %.2f\n",
                seconds * 1e6 / (double(tics) * count), tics * k_tic_length / seconds);
    ripemd160_state end;
    ripemd160_init(end);
    bikes_digest_update(end, bikes);
    bikes_digest_update(ridden, bikes);
    std::printf("digest %s\n", digest_hex(end).c_str());
    std::printf("ridden %s\n", digest_hex(ridden).c_str());
    world_destroy();
    bike_tables_free();
    track_unload();
    files_free_all();
    return 0;
}
