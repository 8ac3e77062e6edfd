// Final results with cutting penalties, and the "@results.txt" file.
#pragma once

#include <string>
#include <vector>

struct result_entry {
    int slot;
    int position; // crossings, after the laps a penalty took
    int tic;      // tic of the last crossing plus the penalty
    int penalty;  // tics
};

// Mean time over the riders of the running order for crossings a to b (tics); 60 s without any.
int segment_reference_time(int a, int b);
// Penalties for skipped gates, laps taken off for large ones, sorted as the running order.
std::vector<result_entry> final_results_compute();
// The results of the race once they are done (empty before).
const std::vector<result_entry>& race_final_results();

// What "@results.txt" holds for these results on the track in that folder; names and numbers
// come from the rider slots.
std::string results_text(const std::vector<result_entry>& results, const std::string& track_folder,
                         long date, int finish_time, int finish_laps);
// Writes the file when the winner has finished; false when not written.
bool results_write(const std::vector<result_entry>& results, const std::string& track_folder,
                   long date, int finish_time, int finish_laps);
