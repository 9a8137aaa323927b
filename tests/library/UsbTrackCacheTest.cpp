#include "library/UsbTrackCache.h"
#include "common/LibraryFixtures.h"
#include "common/PrefixDriveClassifier.h"
#include "common/TestPaths.h"
#ifndef _WIN32
#include "library/DriveClassifierLinux.h"
#endif
#include "support/FileIo.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

namespace vyn {
namespace {

namespace fs = std::filesystem;

std::size_t entries(const std::string& folder) {
    std::size_t n = 0;
    for (const auto& e : fs::directory_iterator(folder))
        n += e.is_regular_file() ? 1 : 0;
    return n;
}

// The stick's name and its files' names are outside ASCII, as they often are.
class UsbCache : public ::testing::Test {
protected:
    void SetUp() override {
        base = test::scratchDir("usb-cache");
        stick = base + "/Stick Caf\xC3\xA9";
        folder = base + "/cache";
        fs::create_directories(pathFromUtf8(stick));
        cache = std::make_unique<UsbTrackCache>(
            std::make_unique<test::PrefixDriveClassifier>(stick + "/"));
        ASSERT_TRUE(cache->setCacheFolder(folder));
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(base, ec); // the size test leaves gigabytes of (sparse) files
    }
    std::string onStick(const std::string& name, const std::string& bytes) {
        return test::touch(stick + "/" + name, bytes);
    }
    std::string base, stick, folder;
    std::unique_ptr<UsbTrackCache> cache;
};

TEST_F(UsbCache, FixedDrivesAreUsedInPlace) {
    const std::string local = test::touch(base + "/local.wav");
    const StageResult r = cache->stage(local);
    EXPECT_EQ(std::tie(r.ok, r.path, r.copied), std::make_tuple(true, local, false));
    EXPECT_EQ(entries(folder), 0u);
    const StageResult none = cache->stage("");
    EXPECT_EQ(std::tie(none.ok, none.path), std::make_tuple(true, ""));
}

TEST_F(UsbCache, StickFilesAreCopiedOnceAndReused) {
    const std::string track = onStick("Se\xC3\xB1or.mp3", std::string(40000, 'x'));
    std::uint64_t key = 0;
    ASSERT_TRUE(UsbTrackCache::fileKey(track, key));
    const StageResult first = cache->stage(track);
    EXPECT_EQ(
        std::tie(first.ok, first.copied, first.oneShot, first.path),
        std::make_tuple(true, true, false, folder + "/" + UsbTrackCache::entryName(key, track)));
    EXPECT_EQ(test::readText(first.path), std::string(40000, 'x'));

    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(1);
    fs::last_write_time(first.path, old);
    const StageResult again = cache->stage(track);
    EXPECT_EQ(std::tie(again.ok, again.copied, again.path),
              std::make_tuple(true, false, first.path));
    EXPECT_GT(fs::last_write_time(first.path), old); // a hit counts as a use
    EXPECT_EQ(entries(folder), 1u);

    // A different file under the same name has another identity: never the stale entry.
    test::touch(track, std::string(40001, 'y'));
    const StageResult changed = cache->stage(track);
    EXPECT_TRUE(changed.copied);
    EXPECT_NE(changed.path, first.path);
    EXPECT_EQ(test::readText(changed.path), std::string(40001, 'y'));
}

TEST_F(UsbCache, EmptyFilesGetPrivateOneShotCopies) {
    const std::string track = onStick("\xC3\xA9mpty.wav", "");
    const StageResult a = cache->stage(track);
    const StageResult b = cache->stage(track);
    ASSERT_TRUE(a.ok && b.ok);
    EXPECT_TRUE(a.oneShot);
    EXPECT_NE(a.path, b.path);
    EXPECT_EQ(fs::path(a.path).filename().string().rfind("vyn-load-", 0), 0u);
    EXPECT_EQ(fs::path(a.path).extension(), ".wav");
    EXPECT_TRUE(fs::exists(a.path));
    EXPECT_TRUE(removeFile(b.path));
#ifndef _WIN32
    // Windows has no POSIX permission bits (the C runtime reports every folder as open to all);
    // there the folder is private through the ACL of the user's local application data.
    const fs::perms p = fs::status(fs::path(a.path).parent_path()).permissions();
    EXPECT_EQ(p & (fs::perms::group_all | fs::perms::others_all), fs::perms::none);
#endif
    EXPECT_FALSE(cache->stage(stick + "/absent.wav").ok);
}

TEST_F(UsbCache, PruningDropsTheOldestButNeverTheNewEntry) {
    const auto now = fs::file_time_type::clock::now();
    for (int i = 0; i < 128; ++i) {
        const std::string p = folder + "/vyn-" + std::to_string(1000 + i) + ".mp3";
        test::touch(p, "e");
        fs::last_write_time(p, now - std::chrono::minutes(200 - i));
    }
    const std::string unrelated = test::touch(folder + "/notes.txt", "keep");
    const std::string crashed = test::touch(folder + "/part-1-2-vyn-0000000000000001.mp3", "half");
    fs::last_write_time(crashed, now - std::chrono::hours(2));
    const StageResult r = cache->stage(onStick("new.mp3", "fresh"));
    ASSERT_TRUE(r.ok);
    EXPECT_FALSE(fs::exists(folder + "/vyn-1000.mp3")); // the oldest
    EXPECT_TRUE(fs::exists(folder + "/vyn-1001.mp3"));
    EXPECT_TRUE(fs::exists(r.path));
    EXPECT_TRUE(fs::exists(unrelated));
    EXPECT_FALSE(fs::exists(crashed)); // a copy cut short long ago

    // With every entry stamped in the future the new copy is the oldest: it stays all the same.
    for (const auto& e : fs::directory_iterator(folder))
        if (e.is_regular_file()) fs::last_write_time(e.path(), now + std::chrono::hours(1));
    const StageResult next = cache->stage(onStick("newer.mp3", "fresher"));
    ASSERT_TRUE(next.ok);
    EXPECT_TRUE(fs::exists(next.path));
    EXPECT_EQ(entries(folder), 128u + 1u); // 128 cache entries and the unrelated file
}

TEST_F(UsbCache, PruningKeepsTheFolderUnderTwoGiB) {
    const auto now = fs::file_time_type::clock::now();
    for (int i = 0; i < 3; ++i) {
        const std::string p = folder + "/vyn-big" + std::to_string(i) + ".wav";
        test::touch(p, "");
        fs::resize_file(p, 1ull << 30); // sparse
        fs::last_write_time(p, now - std::chrono::minutes(10 - i));
    }
    ASSERT_TRUE(cache->stage(onStick("t.wav", "abc")).ok);
    EXPECT_FALSE(fs::exists(folder + "/vyn-big0.wav"));
    EXPECT_FALSE(fs::exists(folder + "/vyn-big1.wav"));
    EXPECT_TRUE(fs::exists(folder + "/vyn-big2.wav"));
}

TEST_F(UsbCache, ConcurrentLoadsOfOneTrackAgree) {
    const std::string data(300000, 'z');
    const std::string track = onStick("same.flac", data);
    cache->setBusHook([&](const std::string& path) { return path != track; }); // fast copies
    std::vector<StageResult> results(4);
    std::vector<std::thread> threads;
    for (auto& r : results)
        threads.emplace_back([&] { r = cache->stage(track); });
    for (auto& t : threads)
        t.join();
    for (const StageResult& r : results) {
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.path, results[0].path);
    }
    EXPECT_EQ(test::readText(results[0].path), data);
    EXPECT_EQ(entries(folder), 1u); // no temporary copy left behind
}

// A cache folder named outside ASCII (as a user's profile folder may be): copies land and are
// reused under that very name.
TEST(UsbCacheNames, ACacheFolderNamedOutsideAscii) {
    const std::string base = test::scratchDir("usb-cache-utf8");
    const std::string track = test::touch(base + "/stick/a.mp3", "song");
    UsbTrackCache cache(std::make_unique<test::PrefixDriveClassifier>(base + "/stick/"));
    ASSERT_TRUE(cache.setCacheFolder(base + "/Cach\xC3\xA9"));
    const StageResult first = cache.stage(track);
    ASSERT_TRUE(first.ok && first.copied);
    EXPECT_EQ(test::runProcess("cat '" + first.path + "'").out, "song");
    const StageResult again = cache.stage(track);
    EXPECT_EQ(std::tie(again.ok, again.copied, again.path),
              std::make_tuple(true, false, first.path));
}

TEST(UsbCacheFolder, UnusableFoldersAreRefused) {
    const std::string base = test::scratchDir("usb-cache-folder");
    test::touch(base + "/file", "x");
    UsbTrackCache cache(
        std::make_unique<test::PrefixDriveClassifier>("/nowhere/", DriveKind::CdRom));
    EXPECT_FALSE(cache.setCacheFolder(base + "/file/sub"));
    EXPECT_TRUE(cache.cacheFolder().empty());
    EXPECT_TRUE(cache.setCacheFolder(base + "/a/b"));
    EXPECT_TRUE(fs::is_directory(base + "/a/b"));
    EXPECT_TRUE(cache.needsStaging("/nowhere/x.mp3"));
    EXPECT_FALSE(cache.needsStaging(base + "/x.mp3"));
}

TEST(UsbCacheKey, IdentityFollowsPathSizeAndTime) {
    const std::string dir = test::scratchDir("usb-cache-key");
    test::touch(dir + "/a.mp3", "abc");
    test::touch(dir + "/b.mp3", "abc");
    test::touch(dir + "/empty.mp3", "");
    std::uint64_t a = 0, a2 = 0, b = 0, unused = 0;
    ASSERT_TRUE(UsbTrackCache::fileKey(dir + "/a.mp3", a));
    ASSERT_TRUE(UsbTrackCache::fileKey(dir + "/a.mp3", a2));
    ASSERT_TRUE(UsbTrackCache::fileKey(dir + "/b.mp3", b));
    EXPECT_EQ(a, a2);
    EXPECT_NE(a, b);
    fs::last_write_time(dir + "/a.mp3",
                        fs::last_write_time(dir + "/a.mp3") - std::chrono::seconds(5));
    ASSERT_TRUE(UsbTrackCache::fileKey(dir + "/a.mp3", a2));
    EXPECT_NE(a, a2);
    EXPECT_FALSE(UsbTrackCache::fileKey(dir + "/empty.mp3", unused));
    EXPECT_FALSE(UsbTrackCache::fileKey(dir + "/none.mp3", unused));
    EXPECT_EQ(UsbTrackCache::entryName(0xABCull, "/s/My.Track.FLAC"), "vyn-0000000000000abc.FLAC");
    EXPECT_EQ(UsbTrackCache::entryName(1, "/s.d/noext"), "vyn-0000000000000001");
}

// A mount table and sysfs tree of a machine with a fixed disk, a stick and an optical drive.
// The Linux classifier reads the mount table; the Windows one asks GetDriveTypeW.
#ifndef _WIN32
TEST(LinuxDrives, MountTableAndSysfsDecide) {
    const std::string root = test::scratchDir("linux-drives");
    const std::string sys = root + "/sys";
    auto device = [&](const std::string& devPath, const std::string& majorMinor,
                      const std::string& disk, const char* removable) {
        test::touch(sys + devPath + "/partition", "1\n");
        test::touch(sys + "/block/" + disk + "/removable", removable);
        fs::create_directories(sys + "/dev/block");
        fs::create_symlink(sys + devPath, sys + "/dev/block/" + majorMinor);
    };
    device("/devices/pci/block/sda/sda2", "8:2", "sda", "0\n");
    device("/devices/usb/block/sdb/sdb1", "8:17", "sdb", "1\n");
    fs::create_directories(sys + "/devices/ata/block/sr0");
    test::touch(sys + "/block/sr0/removable", "1\n");
    fs::create_symlink(sys + "/devices/ata/block/sr0", sys + "/dev/block/11:0");
    const std::string mounts = "21 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw\n"
                               "40 21 8:17 / /mnt/My\\040Stick rw - vfat /dev/sdb1 rw\n"
                               "41 21 11:0 / /mnt/cd ro - iso9660 /dev/sr0 ro\n"
                               "42 21 8:2 /home/x/music /media/x/bound rw - ext4 /dev/sda2 rw\n"
                               "43 40 0:50 / /mnt/My\\040Stick/inner rw - tmpfs tmpfs rw\n"
                               "garbage line\n";
    test::touch(root + "/mountinfo", mounts);
    const LinuxDriveClassifier c(root + "/mountinfo", sys);
    EXPECT_EQ(c.classify("/home/x/a.mp3"), DriveKind::Fixed);
    EXPECT_EQ(c.classify("/mnt/My Stick/Contents/a.mp3"), DriveKind::Removable);
    EXPECT_EQ(c.classify("/mnt/My Sticky/a.mp3"), DriveKind::Fixed);      // not a path prefix
    EXPECT_EQ(c.classify("/mnt/My Stick/inner/a.mp3"), DriveKind::Fixed); // nested mount
    EXPECT_EQ(c.classify("/mnt/cd/track01.wav"), DriveKind::CdRom);
    EXPECT_EQ(c.classify("/media/x/bound/a.mp3"), DriveKind::Removable);
    EXPECT_EQ(LinuxDriveClassifier(root + "/none", sys).classify("/mnt/cd/a"), DriveKind::Fixed);
}
#endif

} // namespace
} // namespace vyn
