// Writing the setup lines to a data file stream.
#include "bike/data/bike_setup.h"

#include "files/data_file.h"

bool write_setup_lines(data_file* file) {
    if (!file) return false;
    return data_file_put_text(file, setup_values_lines(setup()).c_str());
}
