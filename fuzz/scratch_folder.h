#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Files for the targets whose code under test reads and writes by path.
namespace tunekiln::fuzz {

// A folder of this process's own, in memory where the system offers it (/dev/shm); it is
// removed when the process ends normally.
const std::string& scratch_folder();

// Writes the bytes to `path`, replacing what was there; ends the run when it cannot, since no
// finding would mean anything then.
void write_whole_file(const std::string& path, const std::uint8_t* data, std::size_t size);

// How many entries the scratch folder holds: tells whether a temporary file was left behind.
std::size_t scratch_entry_count();

}  // namespace tunekiln::fuzz
