// GDAL's command-line tools, which show that a grid opens in real GIS tools.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

// The full path of a program on PATH; empty when there is none.
std::string FindProgram(const std::string& name);

// A missing GDAL tool fails the test under CI and skips it elsewhere.
#define REQUIRE_GDAL_TOOL(path, name)                                        \
    const std::string path = FindProgram(name);                              \
    if (path.empty() && std::getenv("CI")) FAIL() << name << " is missing";  \
    if (path.empty()) GTEST_SKIP() << name << " is missing"
