// The client's side of talking: the server's text commands, chat, sending a file, the restart
// request and the "version" reply.
#include "net/net_local.h"

#include "common/message.h"
#include "common/ripemd160.h"
#include "demo/demo.h"
#include "files/data_file.h"
#include "platform/log.h"
#include "race/race.h"
#include "terrain/erosion.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace {
constexpr double k_chat_interval = 2.0;  // s between chat lines
constexpr double k_part_interval = 0.25; // s between the parts of a file
constexpr int k_part_size = 256;         // bytes of a file in one part
constexpr int k_file_name_max = 1023;
constexpr const char* k_part_head = "sendpart -";

// Whether the text starts with the keyword, followed by white space or the end.
bool keyword(const char* text, const char* word) {
    size_t n = strlen(word);
    return strncmp(text, word, n) == 0 &&
           (text[n] == '\0' || std::isspace(static_cast<unsigned char>(text[n])));
}

// "erode <race> <value>": exactly two whole numbers.
void erode_command(const char* text) {
    net_client& c = net();
    int race = 0, value = 0, used = 0;
    int fields = std::sscanf(text, "erode %d %d%n", &race, &value, &used);
    bool trailing = false;
    if (fields == 2)
        for (const char* p = text + used; *p; p++)
            trailing |= !std::isspace(static_cast<unsigned char>(*p));
    if (fields != 2 || trailing) {
        show_message("Malformed erode command received");
        return;
    }
    if (race != c.race) return;
    if (value == 0 && c.erosion < 0) {
        c.erosion = 0;
        erosion_set_setting(0);
        return;
    }
    c.erosion = value;
    erosion_set_setting(value);
    demo_record_erode(value);
}

// 64 hex digits that name this build.
std::string build_signature(const std::string& label) {
    std::string what = "trailbok " + label + " " __VERSION__;
#ifdef TB_DEBUG
    what += " debug";
#endif
    uint8_t first[20], second[20];
    ripemd160_state s;
    ripemd160_init(s);
    ripemd160_update(s, what.data(), what.size());
    ripemd160_final(s, first);
    ripemd160_init(s);
    ripemd160_update(s, first, sizeof first);
    ripemd160_final(s, second);
    return ripemd160_hex(first) + ripemd160_hex(second).substr(0, 24);
}

void version_reply() {
    const net_client& c = net();
    char head[64];
    std::snprintf(head, sizeof head, "version %x %d ", c.params.fixed_shapes_match ? 1u : 0u,
                  k_protocol_number);
    client_queue_text(sub_command, head + build_signature(c.build_label) + " " + c.build_label +
                                       " " + c.renderer + " " + c.gl_version);
}

bool connected_or_say() {
    if (net().connected) return true;
    show_message("Not connected to server");
    return false;
}
} // namespace

void client_text_command(const std::string& raw) {
    net_client& c = net();
    std::string command =
        wire_text(reinterpret_cast<const uint8_t*>(raw.data()), static_cast<int>(raw.size()));
    const char* text = command.c_str();
    while (std::isspace(static_cast<unsigned char>(*text))) text++;
    if (keyword(text, "no_arcade")) {
        c.no_arcade = true;
        client_disable_arcade();
    } else if (keyword(text, "off_course_bias") || keyword(text, "off_course_scale") ||
               keyword(text, "knockout")) {
        race_server_command(text);
    } else if (keyword(text, "erode")) {
        erode_command(text);
    } else if (keyword(text, "sendready")) {
        if (c.file) c.file_sending = true;
    } else if (keyword(text, "senddenied")) {
        show_message("Send file denied");
        client_file_close();
    } else if (keyword(text, "version")) {
        version_reply();
    }
}

void client_file_close() {
    net_client& c = net();
    if (c.file) data_file_close(c.file);
    c.file = nullptr;
    c.file_sending = false;
}

void client_file_tic(double now) {
    net_client& c = net();
    if (!c.file || !c.file_sending || now < c.next_part) return;
    c.next_part = now + k_part_interval;
    char part[16 + k_part_size];
    size_t head = strlen(k_part_head);
    std::memcpy(part, k_part_head, head);
    size_t n = data_file_read(c.file, part + head, k_part_size);
    if (n > 0)
        client_queue_reliable(sub_command, reinterpret_cast<const uint8_t*>(part),
                              static_cast<int>(head + n));
    if (n < static_cast<size_t>(k_part_size)) {
        client_file_close();
        client_queue_text(sub_command, c.namefile);
    }
}

void net_send_file(const char* name) {
    net_client& c = net();
    if (!connected_or_say()) return;
    std::string file = name ? name : "";
    bool plain = !file.empty();
    for (char ch : file)
        plain &= std::isalnum(static_cast<unsigned char>(ch)) || ch == '_' || ch == '.';
    if (!plain) {
        show_message("Filename may only contain alphanumeric characters, '_' or '.'");
        return;
    }
    if (static_cast<int>(file.size()) > k_file_name_max) {
        show_message("Filename too long");
        return;
    }
    if (c.file) {
        show_message("Stopping previous transfer");
        client_file_close();
    }
    c.file = data_file_open(("@outgoing/" + file).c_str(), "rb");
    if (!c.file) {
        show_message("Can't open file");
        return;
    }
    c.namefile = "namefile " + file;
    c.next_part = 0;
    client_queue_text(sub_command, "sendfile");
    show_message("Sending file");
}

void net_chat(const char* text, double now) {
    net_client& c = net();
    if (!connected_or_say() || !text) return;
    if (now - c.last_chat < k_chat_interval) {
        show_message("No one likes a spammer");
        return;
    }
    c.last_chat = now;
    client_queue_text(sub_text, text);
}

void net_request_restart() {
    net_client& c = net();
    if (!connected_or_say()) return;
    if (c.state != state_racing) {
        show_message("A restart can be asked for only while racing");
        return;
    }
    if (client_send(build_client_values(msg_restart_request, c.my_slot, c.client_id, 1, 1)))
        show_message("Requesting restart");
}
