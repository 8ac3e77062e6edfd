// Scene rendering: the GL state and projection, one frame of the world from a camera, the
// cameras of the views, billboards and trail markers, and the loading and title screens.
#pragma once

#include "common/common.h"

#include <cstdint>
#include <vector>

struct billboard;

// The player's settings a frame of the world is drawn with.
struct render_settings {
    int billboard_optimize_lookahead = 8;
    bool lens_flare = true;
    bool reflections = true;
    float model_detail = 50; // 0..100; at 10 or less far statues are left out
    bool fugly = false;      // "--fugly": the clear colour instead of the sky
    // Waits for the card after each phase of a frame and times it (benchmarks).
    bool time_phases = false;
};

// Logs the GL strings, reads the driver's features (render/shaders.h) and sets the fixed GL
// state; false without a GL context.
bool gl_features_init(bool flat_shading);
bool gl_ready();
// Whether shader programs draw: asked for, offered by the driver and all built
// (`shaders_build`); otherwise the fixed-function pipeline draws everything.
bool shaders_in_use();

// Half the width and height of the view at distance 1.
struct view_tangents {
    float tx, ty;
};
// The field of view is horizontal up to 4:3; wider screens keep the height of a 4:3 one.
view_tangents tangents_for(int width, int height, float fov);
// Viewport, frustum between the track's near and far planes, model-view reset.
void set_projection(int width, int height, float fov);
// The tangents of the last projection set up.
view_tangents render_tangents();
void render_clear();

// A camera as the scene is drawn from it.
struct scene_camera {
    float eye[3] = {};                               // ft
    float rotation[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1}; // row-major; columns right, up, backward
    float fov = 90;                                  // degrees
    int viewed_slot = -1;                            // the rider whose eyes these are
    float velocity[3] = {};                          // ft/s the eye moves at
};

// How a bike of the frame is drawn: whole, without its rider (the rider's own view with the rider
// hidden), or as its rider sees it (first person).
enum render_bike_mode { bike_whole = 0, bike_without_rider = 1, bike_first_person = 2 };

// One bike of the frame: its handle, how it is drawn and how opaque it is.
struct render_bike {
    int bike = -1;
    render_bike_mode mode = bike_whole;
    float opacity = 1; // 0..1; recorded riders fade near the local rider
};

// Everything one frame of the world is drawn from: the program fills it once a frame.
struct render_frame {
    scene_camera camera;
    render_settings settings;
    int bike_count = 0;
    render_bike bikes[k_max_riders]; // the bikes to draw, in slot order
    // The robots' lines as strips, drawn over the scene at the highest log level: the points'
    // x, y, z one after another, and each strip's point count.
    std::vector<float> line_points;
    std::vector<int> line_counts;
};

// Draws the world of the frame; leaves depth testing on with function ALWAYS, blending and
// alpha test off and the model-view matrix at identity.
void render_scene(const render_frame& frame);

// What the last frame drew.
struct render_stats {
    int model_polygons = 0;
    int billboards = 0;
    int texture_changes = 0;
    int shader_changes = 0;
    int ground_polygons = 0;
    // With time_phases: milliseconds up to the bikes (sky, ground, lights), of the opaque and
    // faded bikes, and of the rest of the frame.
    double setup_ms = 0, bikes_ms = 0, rest_ms = 0;
};
const render_stats& render_statistics();

// ---------------------------------------------------------------------------------------------
// Cameras

// The rotation of a trackside camera of yaw and pitch (rad).
void trackside_rotation(float yaw, float pitch, float out[9]);

// A keyframe of the key-framed camera.
struct camera_keyframe {
    float position[3] = {};             // ft
    float quaternion[4] = {0, 0, 0, 1}; // x, y, z, w
    float fov = 90;                     // degrees
    int tic = 0;
};
// The quaternion a camera of yaw and pitch is stored with.
void keyframe_quaternion(float yaw, float pitch, float out[4]);
// The camera at a race clock tic, eased between keyframes; at least one keyframe is needed.
scene_camera keyframed_camera(const camera_keyframe* keys, int count, int clock);

// The camera of a trackside camera of the track (the free camera among them).
struct track_camera;
scene_camera track_camera_view(const track_camera& camera);

// ---------------------------------------------------------------------------------------------
// Billboards

// Keeps the cards in front of the eye and stores their depth keys in `keys` (one per card);
// `kept` gets their indices.
int billboards_keep(const billboard* cards, int count, int reserved, const float back[3],
                    const float eye[3], int32_t* keys, int32_t* kept);
// Sorts indices by their cards' keys, farthest first, four stable byte passes.
void billboards_radix_sort(const int32_t* keys, int32_t* order, int32_t* scratch, int count);
// Moves a card with the same texture up behind each card, within the look-ahead window, where
// that changes nothing the eye can see.
void billboards_batch(const billboard* cards, int32_t* order, int count, int window,
                      const float right[3], const float eye[3]);

// ---------------------------------------------------------------------------------------------
// Trail markers

void trail_marker_add(const float position[3], const char* text);
void trail_markers_clear();
int trail_marker_count();

// ---------------------------------------------------------------------------------------------
// Screens and text

// How text is drawn: the HUD's fonts hand the renderer their drawer; without one nothing is drawn
// and a glyph is taken as 0.6 of its height wide.
struct render_text_drawer {
    float (*width)(const char* text, float height);
    // align: 0 left, 1 centred, 2 right of x.
    void (*draw)(const char* text, float x, float y, float height, const float colour[4], int align,
                 bool shadowed);
};
void render_set_text_drawer(const render_text_drawer* drawer);

// The loading screen: a disc and a row of squares with a wave running along it, and the step
// being loaded.
void loading_screen_draw(const char* progress);
// The title picture with the logo over it (0: none), the message at the top left and the build
// label at the bottom right.
void title_view_draw(uint32_t picture, uint32_t logo, const char* message, const char* build_label);

// Reads the viewport as RGB rows, bottom row first (the frame buffer's order).
bool render_read_pixels(int width, int height, unsigned char* rgb);
void gl_finish();
// Back to the start-up state (markers, the loading screen's clock).
void render_reset();
