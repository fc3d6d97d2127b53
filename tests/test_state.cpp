// The last-error text and the folder context.
#include "support.h"

#include <cstring>

namespace {

using SetterTest = ModuleTest;

TEST_F(SetterTest, GettersAreEmptyNotNullBeforeAnySet) {
    ASSERT_NE(tarvek_backend_id(), nullptr);
    ASSERT_NE(tarvek_folder_path(), nullptr);
    EXPECT_STREQ(tarvek_backend_id(), "");
    EXPECT_STREQ(tarvek_folder_path(), "");
}

TEST_F(SetterTest, ValuesAreStoredByteForByte) {
    const char *values[] = {"", "local", "/media/Movies/", "C:\\Movies\\\\", "caf\xC3\xA9 \x01\x7F", "\xFF\xFE"};
    for (const char *value : values) {
        ASSERT_EQ(tarvek_set_backend_id(value), TARVEK_STATUS_OK);
        ASSERT_EQ(tarvek_set_folder_path(value), TARVEK_STATUS_OK);
        EXPECT_STREQ(tarvek_backend_id(), value);
        EXPECT_STREQ(tarvek_folder_path(), value);
        EXPECT_NE(tarvek_folder_path(), value) << "the library keeps its own copy";
    }
}

TEST_F(SetterTest, NullKeepsThePreviousValueAndSaysWhy) {
    ASSERT_EQ(tarvek_set_backend_id("smb-1"), TARVEK_STATUS_OK);
    ASSERT_EQ(tarvek_set_folder_path("/Movies"), TARVEK_STATUS_OK);

    EXPECT_EQ(tarvek_set_backend_id(nullptr), TARVEK_STATUS_BAD_ARGUMENT);
    EXPECT_STREQ(tarvek_last_error(), "null id");
    EXPECT_EQ(tarvek_set_folder_path(nullptr), TARVEK_STATUS_BAD_ARGUMENT);
    EXPECT_STREQ(tarvek_last_error(), "null path");

    EXPECT_STREQ(tarvek_backend_id(), "smb-1");
    EXPECT_STREQ(tarvek_folder_path(), "/Movies");
}

TEST_F(SetterTest, SettingTheGettersOwnTextKeepsIt) {
    ASSERT_EQ(tarvek_set_backend_id("local"), TARVEK_STATUS_OK);
    ASSERT_EQ(tarvek_set_folder_path("/m"), TARVEK_STATUS_OK);
    EXPECT_EQ(tarvek_set_backend_id(tarvek_backend_id()), TARVEK_STATUS_OK);
    EXPECT_EQ(tarvek_set_folder_path(tarvek_folder_path()), TARVEK_STATUS_OK);
    EXPECT_STREQ(tarvek_backend_id(), "local");
    EXPECT_STREQ(tarvek_folder_path(), "/m");
}

TEST_F(SetterTest, LastErrorKeepsTheMessageThroughLaterSuccesses) {
    const char *address = tarvek_last_error();
    EXPECT_EQ(tarvek_set_folder_path(nullptr), TARVEK_STATUS_BAD_ARGUMENT);
    EXPECT_EQ(tarvek_set_folder_path("/a"), TARVEK_STATUS_OK);
    EXPECT_EQ(tarvek_load_listing("[]"), TARVEK_STATUS_OK);
    EXPECT_EQ(tarvek_classify("a.mkv"), TARVEK_KIND_VIDEO);
    EXPECT_STREQ(tarvek_last_error(), "null path");
    EXPECT_EQ(tarvek_last_error(), address);
}

}  // namespace

namespace {

using KeptBlockTest = ModuleTest;

// Blocks from KEPT_BLOCK_MIN bytes up are kept when given back and serve the next request of about
// their size; smaller blocks and smaller requests go to the C library.
TEST_F(KeptBlockTest, KeepsAndReusesFromTheMinimumUp) {
    using tarvek::KEPT_BLOCK_MIN;
    void *small = tarvek::take_block(KEPT_BLOCK_MIN - 1);
    ASSERT_NE(small, nullptr);
    tarvek::give_back_block(small);
    EXPECT_EQ(tarvek::s_kept_n, 0u) << "a block below the minimum is not kept";

    void *block = tarvek::take_block(KEPT_BLOCK_MIN);
    ASSERT_NE(block, nullptr);
    tarvek::give_back_block(block);
    ASSERT_EQ(tarvek::s_kept_n, 1u) << "a block of the minimum is kept";
    void *below = tarvek::take_block(KEPT_BLOCK_MIN - 1);
    EXPECT_NE(below, block) << "a request below the minimum never takes a kept block";
    EXPECT_EQ(tarvek::s_kept_n, 1u);
    tarvek::give_back_block(below);
    void *again = tarvek::take_block(KEPT_BLOCK_MIN);
    EXPECT_EQ(again, block) << "a request of the minimum does";
    EXPECT_EQ(tarvek::s_kept_n, 0u);
    tarvek::give_back_block(again);
}

TEST_F(KeptBlockTest, GrowingALargeEnoughBlockReturnsItAsItIs) {
    for (std::size_t size : {std::size_t{100}, tarvek::KEPT_BLOCK_MIN, 3 * tarvek::KEPT_BLOCK_MIN}) {
        void *block = tarvek::take_block(size);
        ASSERT_NE(block, nullptr);
        std::memset(block, 'x', size);
        std::size_t requested = tarvek::s_kept_requested;
        for (std::size_t wanted : {size, size / 2}) {
            EXPECT_EQ(tarvek::grow_block(block, size, wanted), block) << size << " to " << wanted;
            EXPECT_EQ(tarvek::block_capacity(block), size);
            EXPECT_EQ(tarvek::s_kept_requested, requested) << "nothing new is asked for";
        }
        void *grown = tarvek::grow_block(block, size, size + 1);
        ASSERT_NE(grown, nullptr);
        EXPECT_GE(tarvek::block_capacity(grown), size + 1);
        EXPECT_EQ(static_cast<char *>(grown)[size - 1], 'x') << "the used bytes move with the block";
        tarvek::give_back_block(grown);
    }
}

}  // namespace
