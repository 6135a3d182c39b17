// Resource updates of real files: what is kept, replaced and removed, the image and mode left as they were,
// languages side by side, failures that leave the file alone, and readers during rewrites.
#include "platform/base/win32errors.h"
#include "platform/resources/resource_update.h"
#include "platform/resources/tests/resource_test_files.h"
#include "tests/support/test_env.h"

#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using vr::ResourceEntry;
using vr::ResourceId;

class ResourceUpdateTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < 3000; ++i) {
            image_.push_back(static_cast<char>(i * 7 + i / 256));
        }
        vrtest::WriteBytes(path_, image_);
        ASSERT_EQ(::chmod(path_.c_str(), 0751), 0);
    }

    std::string DataOf(const ResourceId& type, const ResourceId& name, WORD language) {
        vr::ModuleResources resources = vrtest::ResourcesOf(path_);
        const ResourceEntry* entry = nullptr;
        HRESULT hr = resources.Find(type, name, language, &entry);
        return SUCCEEDED(hr) ? entry->data : "<" + std::to_string(HRESULT_CODE(hr)) + ">";
    }

    std::string folder_ = vrtest::MakeFreshFolder("update");
    std::string path_ = folder_ + "/libtemplate.so";
    std::string image_;
};

TEST_F(ResourceUpdateTest, LanguagesOfOneNameLiveSideBySide) {
    vrtest::Stamp(path_, false,
                  {{u"REGISTRY", 102, LANG_NEUTRAL, "template script"},
                   {u"REGISTRY", 102, 0x1009, "stamped script"},
                   {u"TYPELIB", 1, 0x1009, "library"}});
    vr::ModuleResources resources = vrtest::ResourcesOf(path_);
    EXPECT_EQ(resources.Languages(u"registry", 102), (std::vector<WORD>{LANG_NEUTRAL, 0x1009}));
    const ResourceEntry* entry = nullptr;
    ASSERT_EQ(resources.Find(u"Registry", 102, &entry), S_OK);
    EXPECT_EQ(entry->data, "template script"); // the neutral one first
    ASSERT_EQ(resources.Find(u"TYPELIB", 1, &entry), S_OK);
    EXPECT_EQ(entry->data, "library"); // else the only one there is
    EXPECT_EQ(resources.Find(u"TYPELIB", 1, 0x0409, &entry),
              HRESULT_FROM_WIN32(ERROR_RESOURCE_LANG_NOT_FOUND));
    EXPECT_EQ(resources.Find(u"TYPELIB", 2, &entry), HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(resources.Find(RT_HTML, 2, &entry), HRESULT_FROM_WIN32(ERROR_RESOURCE_TYPE_NOT_FOUND));
    EXPECT_EQ(resources.Types(), (std::vector<ResourceId>{u"REGISTRY", u"TYPELIB"}));
}

TEST_F(ResourceUpdateTest, ImageAndModeSurviveAndAnEmptySetRestoresTheFile) {
    vrtest::Stamp(path_, false, {{RT_HTML, u"Attributes.xml", LANG_NEUTRAL, "<attributes/>"}});
    std::string stamped = vrtest::ReadBytes(path_);
    EXPECT_EQ(stamped.substr(0, image_.size()), image_);
    struct stat info {};
    ASSERT_EQ(::stat(path_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0751u);

    vrtest::Stamp(path_, true, {});
    EXPECT_EQ(vrtest::ReadBytes(path_), image_);
    EXPECT_FALSE(vrtest::ResourcesOf(path_).HasArchive());
    EXPECT_EQ(vrtest::FolderListing(folder_), std::vector<std::string>{"libtemplate.so"});
}

TEST_F(ResourceUpdateTest, UpdatesStartFromTheFileUnlessTheyDeleteExisting) {
    vrtest::Stamp(path_, false, {{u"A", 1, 0, "a"}, {u"B", 1, 0, "b"}, {u"C", 1, 0, "c"}});

    vr::ResourceUpdateHandle update = nullptr;
    ASSERT_EQ(vr::BeginUpdateResource(path_, false, &update), S_OK);
    ASSERT_EQ(vr::UpdateResource(update, u"a", 1, 0, nullptr, 0), S_OK);
    ASSERT_EQ(vr::UpdateResource(update, u"b", 1, 0, "bee", 3), S_OK);
    ASSERT_EQ(vr::UpdateResource(update, u"c", 1, 0, "", 0), S_OK); // empty, not removed
    ASSERT_EQ(vr::UpdateResource(update, u"never", 1, 0, nullptr, 0), S_OK);
    ASSERT_EQ(vr::EndUpdateResource(update, false), S_OK);
    EXPECT_EQ(DataOf(u"A", 1, 0), "<1813>");
    EXPECT_EQ(DataOf(u"B", 1, 0), "bee");
    EXPECT_EQ(DataOf(u"C", 1, 0), "");

    vrtest::Stamp(path_, true, {{u"D", 1, 0, "d"}});
    EXPECT_EQ(vrtest::ResourcesOf(path_).Types(), std::vector<ResourceId>{u"D"});
    EXPECT_EQ(vrtest::ReadBytes(path_).substr(0, image_.size()), image_);
}

TEST_F(ResourceUpdateTest, DiscardWritesNothing) {
    vrtest::Stamp(path_, false, {{u"A", 1, 0, "a"}});
    std::string before = vrtest::ReadBytes(path_);
    struct stat first {};
    ASSERT_EQ(::stat(path_.c_str(), &first), 0);
    vr::ResourceUpdateHandle update = nullptr;
    ASSERT_EQ(vr::BeginUpdateResource(path_, true, &update), S_OK);
    ASSERT_EQ(vr::UpdateResource(update, u"B", 1, 0, "b", 1), S_OK);
    ASSERT_EQ(vr::EndUpdateResource(update, true), S_OK);
    struct stat second {};
    ASSERT_EQ(::stat(path_.c_str(), &second), 0);
    EXPECT_EQ(first.st_ino, second.st_ino);
    EXPECT_EQ(vrtest::ReadBytes(path_), before);
}

TEST_F(ResourceUpdateTest, RefusesWhatTheArchiveCannotHold) {
    vr::ResourceUpdateHandle update = nullptr;
    ASSERT_EQ(vr::BeginUpdateResource(path_, false, &update), S_OK);
    std::u16string longest(0xFFFF, u'N');
    EXPECT_EQ(vr::UpdateResource(update, longest, 1, 0, "x", 1), S_OK);
    EXPECT_EQ(vr::UpdateResource(update, longest + u'N', 1, 0, "x", 1), E_INVALIDARG);
    EXPECT_EQ(vr::UpdateResource(update, u"#0", 1, 0, "x", 1), E_INVALIDARG);
    EXPECT_EQ(vr::UpdateResource(update, u"T", 1, 0, nullptr, 5), E_INVALIDARG);
    ASSERT_EQ(vr::EndUpdateResource(update, false), S_OK);
    EXPECT_EQ(DataOf(longest, 1, 0), "x");
}

TEST_F(ResourceUpdateTest, DamagedArchiveIsReplacedOnlyWhenDeletingExisting) {
    vrtest::Stamp(path_, false, {{u"A", 1, 0, "some resource data"}});
    std::string bytes = vrtest::ReadBytes(path_);
    bytes[image_.size() + 20] ^= 0x01; // inside the archive: the checksum no longer fits
    vrtest::WriteBytes(path_, bytes);

    vr::ResourceUpdateHandle update = nullptr;
    EXPECT_EQ(vr::BeginUpdateResource(path_, false, &update), HRESULT_FROM_WIN32(ERROR_INVALID_DATA));
    EXPECT_EQ(update, nullptr);
    vrtest::Stamp(path_, true, {{u"B", 1, 0, "fresh"}});
    EXPECT_EQ(DataOf(u"B", 1, 0), "fresh");
    EXPECT_EQ(vrtest::ReadBytes(path_).substr(0, image_.size()), image_);
}

TEST_F(ResourceUpdateTest, LinkedFileIsUpdatedAndTheLinkKept) {
    std::string link = folder_ + "/libalias.so";
    std::filesystem::create_symlink(path_, link);
    vrtest::Stamp(link, false, {{u"A", 1, 0, "through the link"}});
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(DataOf(u"A", 1, 0), "through the link");
}

TEST_F(ResourceUpdateTest, FailuresLeaveTheFileAndFolderAsTheyWere) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "permissions do not bind the superuser";
    }
    vrtest::Stamp(path_, false, {{u"A", 1, 0, "a"}});
    std::string before = vrtest::ReadBytes(path_);

    ASSERT_EQ(::chmod(path_.c_str(), 0444), 0);
    vr::ResourceUpdateHandle update = nullptr;
    EXPECT_EQ(vr::BeginUpdateResource(path_, false, &update), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
    ASSERT_EQ(::chmod(path_.c_str(), 0644), 0);

    // The folder turns read-only between start and end: the temporary file cannot be made.
    ASSERT_EQ(vr::BeginUpdateResource(path_, false, &update), S_OK);
    ASSERT_EQ(vr::UpdateResource(update, u"B", 1, 0, "b", 1), S_OK);
    ASSERT_EQ(::chmod(folder_.c_str(), 0555), 0);
    EXPECT_EQ(vr::EndUpdateResource(update, false), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
    ASSERT_EQ(::chmod(folder_.c_str(), 0755), 0);
    EXPECT_EQ(vrtest::ReadBytes(path_), before);
    EXPECT_EQ(vrtest::FolderListing(folder_), std::vector<std::string>{"libtemplate.so"});

    EXPECT_EQ(vr::BeginUpdateResource(folder_ + "/missing.so", false, &update),
              HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(vr::BeginUpdateResource(folder_, false, &update), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
}

// Rewrites replace the file in one step: a reader at any moment finds one complete resource set.
TEST_F(ResourceUpdateTest, ReadersNeverSeeAHalfWrittenFile) {
    const std::string small(10, 's');
    const std::string large(200000, 'L');
    vrtest::Stamp(path_, false, {{u"DATA", 1, 0, small}});
    std::atomic<bool> done{false};
    std::atomic<int> reads{0};
    std::atomic<int> bad{0};
    std::thread reader([&] {
        while (!done.load()) {
            std::string data;
            HRESULT hr = vr::LoadModuleResource(path_, u"DATA", 1, &data);
            if (hr != S_OK || (data != small && data != large)) {
                bad.fetch_add(1);
            }
            reads.fetch_add(1);
        }
    });
    for (int i = 0; i < 60; ++i) {
        vrtest::Stamp(path_, false, {{u"DATA", 1, 0, i % 2 ? small : large}});
    }
    while (reads.load() < 50) {
        std::this_thread::yield();
    }
    done.store(true);
    reader.join();
    EXPECT_EQ(bad.load(), 0);
}

} // namespace
