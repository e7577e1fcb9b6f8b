#pragma once
// Points the process's registry at a fresh file in a temporary folder for each
// test, and reads what was stored through a second store on the same file.

#include "RegistryStore.h"

#include <QTemporaryDir>
#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

class RegistryFixture : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::string file = dir.path().toStdString() + "/registry.txt";

    void SetUp() override { Registry::UserStore().SetFile(file); }
    void TearDown() override { Registry::UserStore().SetFile(dir.path().toStdString() + "/gone"); }

    // Type and bytes of a stored value; type 0 and no bytes when it is missing.
    std::pair<std::uint32_t, std::vector<std::uint8_t>>
    Stored(Registry::HKEY root, const std::string& path, const std::string& name) {
        Registry::Store look(file);
        Registry::HKEY key = 0;
        if (look.OpenKey(root, path, key) != Registry::ERROR_SUCCESS) return {};
        std::uint32_t type = 0, size = 0;
        if (look.QueryValue(key, name, &type, nullptr, &size) != Registry::ERROR_SUCCESS) return {};
        std::vector<std::uint8_t> data(size);
        look.QueryValue(key, name, nullptr, data.data(), &size);
        return {type, data};
    }

    // Writes raw data the way another program could have.
    void Put(Registry::HKEY root, const std::string& path, const std::string& name,
             std::uint32_t type, const std::vector<std::uint8_t>& data) {
        Registry::Store other(file);
        Registry::HKEY key = 0;
        ASSERT_EQ(other.CreateKey(root, path, key), Registry::ERROR_SUCCESS);
        ASSERT_EQ(other.SetValue(key, name, type, data), Registry::ERROR_SUCCESS);
    }

    static std::vector<std::uint8_t> AsBytes(std::string_view s) { return {s.begin(), s.end()}; }
};
