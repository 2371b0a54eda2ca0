// LoadPicture from bytes and files, and the registry behind the handles.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "media/picture.h"
#include "tests/pictures/picture_fixtures.h"

namespace gs {
namespace {

using test::Bytes;

Bytes SmallGif() {
  test::GifSpec spec;
  spec.screen_width = spec.width = 3;
  spec.screen_height = spec.height = 2;
  spec.global_table = {0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00};
  spec.indices = {0, 1, 2, 3, 2, 1};
  spec.lzw.min_code_size = 2;
  return EncodeGif(spec);
}

OwnedByteBlock Block(const Bytes& bytes) {
  return CopyToByteBlock(bytes.data(), static_cast<int64_t>(bytes.size()));
}

TEST(PictureRegistry, EveryLoadGivesANewHandle) {
  const OwnedByteBlock block = Block(SmallGif());
  const int32_t before = RegisteredPictureCount();
  std::set<PictureHandle> handles;
  for (int i = 0; i < 10; ++i) {
    const PictureHandle handle = LoadPicture(block.get());
    EXPECT_NE(handle, 0);
    EXPECT_TRUE(IsRegisteredPicture(handle));
    handles.insert(handle);
  }
  EXPECT_EQ(handles.size(), 10u);
  EXPECT_EQ(RegisteredPictureCount(), before + 10);

  // Ten pictures, not one shared: different objects with the same content.
  const Picture* first = RegisteredPicture(*handles.begin());
  ASSERT_NE(first, nullptr);
  std::set<const Picture*> objects;
  for (PictureHandle handle : handles) {
    const Picture* picture = RegisteredPicture(handle);
    ASSERT_NE(picture, nullptr);
    objects.insert(picture);
    EXPECT_EQ(picture->kind, PictureKind::kGif);
    EXPECT_EQ(picture->pixels, first->pixels);
    EXPECT_EQ(RenderPicture(*picture, 0xFFFFFF).pixels, RenderPicture(*first, 0xFFFFFF).pixels);
  }
  EXPECT_EQ(objects.size(), 10u);
}

TEST(PictureRegistry, HandlesThatNameNoPicture) {
  const PictureHandle loaded = LoadPicture(Block(SmallGif()).get());
  ASSERT_NE(loaded, 0);
  for (PictureHandle handle :
       {0, -1, -loaded, loaded + 1000000, 0x7FFFFFFF, int32_t{-0x7FFFFFFF - 1}}) {
    EXPECT_FALSE(IsRegisteredPicture(handle)) << handle;
    EXPECT_EQ(RegisteredPicture(handle), nullptr) << handle;
  }
}

TEST(PictureRegistry, BytesThatGiveNoPictureGiveHandleZero) {
  const int32_t before = RegisteredPictureCount();
  EXPECT_EQ(LoadPicture(static_cast<const ByteBlock*>(nullptr)), 0);
  EXPECT_EQ(LoadPicture(MakeByteBlock(0).get()), 0);
  const Bytes gif = SmallGif();
  EXPECT_EQ(LoadPicture(Block(Bytes(gif.begin(), gif.begin() + 7)).get()), 0);
  EXPECT_EQ(LoadPicture(Block(Bytes(gif.begin(), gif.end() - 6)).get()), 0);
  EXPECT_EQ(LoadPicture(Block(Bytes{'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c'}).get()), 0);
  // A negative length in the header counts as empty.
  OwnedByteBlock negative = Block(gif);
  negative->length = -5;
  EXPECT_EQ(LoadPicture(negative.get()), 0);
  EXPECT_EQ(RegisteredPictureCount(), before);
}

class PictureFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        std::filesystem::temp_directory_path() / ("gs_picture_files_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Write(const std::string& name, const Bytes& bytes) {
    const std::filesystem::path path = dir_ / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path.string();
  }

  std::filesystem::path dir_;
};

TEST_F(PictureFileTest, LoadsAPictureFile) {
  const Bytes gif = SmallGif();
  const PictureHandle handle = LoadPicture(Write("small.gif", gif));
  ASSERT_NE(handle, 0);
  const Picture* picture = RegisteredPicture(handle);
  ASSERT_NE(picture, nullptr);
  const auto from_bytes = DecodePictureBytes(gif.data(), static_cast<int64_t>(gif.size()));
  EXPECT_EQ(picture->pixels, from_bytes->pixels);
  EXPECT_EQ(picture->width, 3);
}

TEST_F(PictureFileTest, FilesThatGiveNoPictureGiveHandleZero) {
  const Bytes gif = SmallGif();
  const int32_t before = RegisteredPictureCount();
  EXPECT_EQ(LoadPicture(std::string()), 0);
  EXPECT_EQ(LoadPicture(Write("empty.gif", {})), 0);
  EXPECT_EQ(LoadPicture(Write("seven.gif", Bytes(gif.begin(), gif.begin() + 7))), 0);
  EXPECT_EQ(LoadPicture(Write("cut.gif", Bytes(gif.begin(), gif.end() - 6))), 0);
  EXPECT_EQ(LoadPicture((dir_ / "missing.gif").string()), 0);
  EXPECT_EQ(LoadPicture(dir_.string()), 0);  // a directory opens but cannot be read
  const std::string locked = Write("locked.gif", gif);
  std::filesystem::permissions(locked, std::filesystem::perms::none);
  if (::geteuid() != 0) {
    EXPECT_EQ(LoadPicture(locked), 0);  // root reads it anyway
  }
  EXPECT_EQ(LoadPicture(std::string("/dev/zero")), 0);  // endless, and no picture
  EXPECT_EQ(RegisteredPictureCount(), before);
}

TEST(PictureRegistry, LoadsFromSeveralThreadsAtOnce) {
  const OwnedByteBlock block = Block(SmallGif());
  constexpr int kThreads = 4;
  constexpr int kLoads = 50;
  std::vector<std::vector<PictureHandle>> got(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kLoads; ++i) {
        const PictureHandle handle = LoadPicture(block.get());
        if (IsRegisteredPicture(handle) && RegisteredPicture(handle)->width == 3) {
          got[t].push_back(handle);
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  std::set<PictureHandle> all;
  for (const auto& handles : got) all.insert(handles.begin(), handles.end());
  EXPECT_EQ(all.size(), size_t{kThreads * kLoads});
}

}  // namespace
}  // namespace gs
