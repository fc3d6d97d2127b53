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
