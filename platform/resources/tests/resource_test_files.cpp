// Real files for the resource tests: reading and writing bytes, and stamping resources with the update API.
#include "platform/resources/tests/resource_test_files.h"

#include "platform/resources/resource_update.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

namespace vrtest {

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << path;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    EXPECT_TRUE(out.good()) << path;
}

std::vector<std::string> FolderListing(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& item : std::filesystem::directory_iterator(folder)) {
        names.push_back(item.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

void Stamp(const std::string& path, bool deleteExisting, const std::vector<vr::ResourceEntry>& entries) {
    vr::ResourceUpdateHandle update = nullptr;
    ASSERT_EQ(vr::BeginUpdateResource(path, deleteExisting, &update), S_OK) << path;
    for (const vr::ResourceEntry& entry : entries) {
        EXPECT_EQ(vr::UpdateResource(update, entry.type, entry.name, entry.language, entry.data.data(),
                                     static_cast<DWORD>(entry.data.size())),
                  S_OK);
    }
    ASSERT_EQ(vr::EndUpdateResource(update, false), S_OK) << path;
}

vr::ModuleResources ResourcesOf(const std::string& path) {
    vr::ModuleResources resources;
    EXPECT_EQ(vr::ModuleResources::Open(path, &resources), S_OK) << path;
    return resources;
}

} // namespace vrtest
