// Shared pieces of the data-set generator.
#pragma once

#include <string>
#include <vector>

// Creates every missing folder along a path that ends in "/" (or every parent of a file).
void forge_make_folders(const std::string& path);
// Writes bytes to a file, replacing it only when the content changed (keeps builds quiet).
bool forge_write_file(const std::string& path, const std::string& bytes);

bool forge_main_archive(const std::string& out);
// The points series "trailbok_cup.series" over the generated tracks.
bool forge_series(const std::string& out);
// The engine sounds: each class's samples, sound table and ".braap", and the models' own.
bool forge_engine_sounds(const std::string& out);

// One member of a ".saf" archive: its name inside the archive and its bytes.
struct forge_member {
    std::string name;
    std::string bytes;
};
// The archive's bytes: the header lines, "-", then the members' data in order.
std::string forge_archive_bytes(const std::vector<forge_member>& members);
bool forge_write_archive(const std::string& path, const std::vector<forge_member>& members);
// Queues a member for the main archive "zzzz.saf", written after every step has run.
void forge_archive_add(const std::string& name, const std::string& bytes);
bool forge_write_main_archive(const std::string& out);
