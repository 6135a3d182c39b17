// Real files for the resource tests: reading and writing bytes, and stamping resources with the update API.
#pragma once

#include "platform/resources/module_resources.h"

#include <string>
#include <string_view>
#include <vector>

namespace vrtest {

std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, std::string_view bytes);

// The names in a folder, sorted (to see that no temporary file is left behind).
std::vector<std::string> FolderListing(const std::string& folder);

// Writes entries into the file with one update; reports a failure to the running test.
void Stamp(const std::string& path, bool deleteExisting, const std::vector<vr::ResourceEntry>& entries);

// The file's resources; reports a failure to the running test.
vr::ModuleResources ResourcesOf(const std::string& path);

} // namespace vrtest
