// What the track gives the drawing and the cameras: its lighting and sky, its trackside cameras
// with the camera operator that points them, and its billboard cards.
#pragma once

#include <cstdint>
#include <string>

// ---------------------------------------------------------------------------------------------
// Lighting and sky

enum sky_face { sky_north, sky_east, sky_south, sky_west, sky_up, k_sky_faces };

constexpr int k_flare_elements = 8;

// One textured square of a lens flare, placed along and across the line from the flare's
// screen position through the middle of the view.
struct flare_element {
    float across = 0; // a: offset across the flare axis
    float along = 0;  // b: position along the axis
    float colour[3] = {1, 1, 1};
    float size = 1; // half-size, screen units
    std::string texture_name;
    uint32_t texture = 0; // 0 when the picture did not load
};

enum flare_kind { flare_point, flare_vector };

struct flare {
    flare_kind kind = flare_point;
    float where[3] = {}; // ft for a point flare, a direction for a vector flare
    int element_count = 0;
    flare_element elements[k_flare_elements];
    float screen[2] = {}; // this frame's position, screen units
    float visibility = 0; // this frame's 0..1
};

struct track_lighting {
    float sun_vector[3] = {0.57735027f, 0.57735027f, 0.57735027f}; // unit, towards the sun
    float sun_colour[3] = {1, 1, 1};
    float ambient[3] = {0.5f, 0.5f, 0.5f};
    float global_ambient[3] = {0.2f, 0.2f, 0.2f};
    float near_plane = 0.25f; // ft
    float far_plane = 5000;   // ft
    bool dynamic_lighting = false;
    std::string sky_names[k_sky_faces] = {"@sky-n.ppm", "@sky-e.ppm", "@sky-s.ppm", "@sky-w.ppm",
                                          "@sky-u.ppm"};
    std::string environment_name = "@sky-env.ppm";
    uint32_t sky[k_sky_faces] = {}; // textures, 0 when a picture did not load
    uint32_t environment = 0;       // texture of the reflections
    float fog_colour[3] = {1, 1, 1};
    float fog_density = 0; // 0: no fog
};

const track_lighting& lighting();
// Reads a "lighting" text over the defaults; false when it stopped at an unknown key.
bool lighting_parse(const std::string& text);
int flare_count();
const flare& flare_at(int index);

// Where a flare falls on the view plane one unit in front of a camera at `eye` whose row-major
// rotation has the right, up and backward axes as columns; false when it is outside the view
// pyramid of half-extents tx, ty (tangents of the half-angles). `distance` is the eye's distance
// to a point flare.
bool flare_project(const flare& f, const float eye[3], const float rotation[9], float tx, float ty,
                   float screen[2], float* distance);
// How visible a flare is from what the frame holds at its pixel: a bright pixel that nothing
// nearer than the flare covers, faded over the last 1/32 of the view at its edges.
float flare_visibility(flare_kind kind, float distance, const float screen[2], float tx, float ty,
                       const uint8_t pixel[3], float depth_fraction);
// Back to the defaults, keeping the fog colour as the lighting file leaves it between tracks.
void lighting_reset();

// ---------------------------------------------------------------------------------------------
// Trackside cameras

// A camera that pans, tilts and zooms to follow a rider.
struct track_camera {
    float position[3] = {};  // ft
    float yaw = 0;           // rad: looks along (sin yaw cos pitch, sin pitch, cos yaw cos pitch)
    float pitch = 0;         // rad
    float yaw_rate = 0;      // rad/s
    float pitch_rate = 0;    // rad/s
    float fov = 90;          // degrees
    float auto_fov_size = 0; // ft kept in view; 0 keeps the field of view
};

// Reads a "cameras" text: cameras stand on the ground of the loaded height field.
void cameras_parse(const std::string& text);
void cameras_clear();
int track_camera_count();
const track_camera& track_camera_at(int camera);
// The camera assigned to a gate, -1 for none.
int camera_for_gate(int gate);
// The free-flying camera, placed behind the start gate when a track loads.
const track_camera& free_camera();
// The free camera put where it is asked to be (a console command, a keyframe, a benchmark).
void free_camera_set(const track_camera& camera);

// What steers a camera for one tic: a target to follow, or the player's controls.
struct camera_controls {
    float steer = 0; // -1..1, turns the free camera
    float pitch = 0; // -1..1, tilts it
    bool has_target = false;
    float target[3] = {};   // ft
    float velocity[3] = {}; // ft/s of the target
    bool cut = false;       // the picture has just switched to this camera
};
// One tic of the camera operator on a camera record.
void camera_operate(track_camera& camera, const camera_controls& controls);
// One tic of the operator of a track camera, or of the free camera for -1.
void track_camera_operate(int camera, const camera_controls& controls);

// ---------------------------------------------------------------------------------------------
// Billboards

// An upright card that turns about the vertical to face the camera.
struct billboard {
    float x = 0, y = 0, z = 0; // ft, foot point
    float size = 1;            // ft, height of the card
    float offset = 0;          // ft, foot point above the ground as the file gives it
    float factor = 1;          // width / height
    uint32_t texture = 0;      // 0: not drawn
    uint8_t colour[4] = {255, 255, 255, 255}; // a = 0: not drawn
};

// The billboard table: roost particles, flaggers' cards and the track's own cards.
const billboard* billboards();
// A card's tint (red, green, blue; its alpha stays).
void billboard_set_colour(int index, const uint8_t rgb[3]);
// A card's foot point raised above the ground by `offset` ft.
void billboard_set_offset(int index, float offset);
int billboard_count();
// How many of the first billboards are roost particles (their depth reaches a card's width
// nearer to the eye).
int billboard_reserved_count();
