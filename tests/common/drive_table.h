// Sets the drive table for the life of the object, then puts back the one before.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "picdex/drives.h"

namespace testutil {

class ScopedDriveTable {
public:
    explicit ScopedDriveTable(const std::string& text) : m_saved(picdex::GetDriveTable()) {
        Set(text);
    }
    ~ScopedDriveTable() { picdex::SetDriveTable(m_saved, nullptr); }
    ScopedDriveTable(const ScopedDriveTable&) = delete;
    ScopedDriveTable& operator=(const ScopedDriveTable&) = delete;

    void Set(const std::string& text) {
        std::string error;
        EXPECT_TRUE(picdex::SetDriveTable(text, &error)) << error;
    }

private:
    std::string m_saved;
};

}  // namespace testutil
