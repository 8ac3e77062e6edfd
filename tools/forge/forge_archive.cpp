// Writing ".saf" archives, and the main archive "zzzz.saf" with a check text in every stored form.
#include "forge.h"

#include "files/archive.h"
#include "files/gzip.h"
#include "files/scramble.h"

#include <cstdio>

namespace {
// Members queued for the main archive by the steps, in the order they were queued.
std::vector<forge_member> g_main_members;

std::string check_text() {
    std::string text;
    for (int i = 0; i < 1000; i++) text += "archive check line " + std::to_string(i) + "\n";
    return text;
}
} // namespace

std::string forge_archive_bytes(const std::vector<forge_member>& members) {
    std::string out;
    for (const forge_member& m : members)
        out += archive_header_line(static_cast<uint32_t>(m.bytes.size()), m.name);
    out += "-\n";
    for (const forge_member& m : members) out += m.bytes;
    return out;
}

bool forge_write_archive(const std::string& path, const std::vector<forge_member>& members) {
    for (const forge_member& m : members) {
        if (m.name.empty() || m.name.find('\n') != std::string::npos ||
            m.bytes.size() > UINT32_MAX) {
            fprintf(stderr, "forge: member \"%s\" can't go into an archive\n", m.name.c_str());
            return false;
        }
    }
    return forge_write_file(path, forge_archive_bytes(members));
}

void forge_archive_add(const std::string& name, const std::string& bytes) {
    g_main_members.push_back({name, bytes});
}

bool forge_write_main_archive(const std::string& out) {
    return forge_write_archive(out + "zzzz.saf", g_main_members);
}

// The main archive's own members: a word for whoever opens it, and one text in each stored
// form so a fresh data set shows at once whether every way of reading a member works.
bool forge_main_archive(const std::string&) {
    forge_archive_add(
        "readme.txt",
        "Trailbok default data set.\n"
        "Every file in this archive was made by the Trailbok generator.\n"
        "Files of the same name in the data folder or the home folder take its place.\n");
    std::string text = check_text();
    forge_archive_add("checks/plain.txt", text);
    forge_archive_add("checks/gzip.txt.gz", gzip_bytes(text));
    forge_archive_add("checks/scrambled.txt.scram", scramble_bytes(text));
    forge_archive_add("checks/both.txt.gz.scram", scramble_bytes(gzip_bytes(text)));
    return true;
}
