// A test that runs inside a fresh scratch folder holding Compiler/ with the
// opcode table and a source, as the workbench's fixed paths expect.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "doubles.h"

namespace quorix::testing_support {

class CompilerDirTest : public ::testing::Test {
 protected:
  // Makes <temp>/<prefix><pid>/Compiler with a one-line OpCode.qrx and the
  // given TheFile.asm, and makes it the current folder until TearDown.
  void Enter(const std::string& prefix, const std::string& source) {
    old_ = std::filesystem::current_path();
    dir_ = std::filesystem::temp_directory_path() / (prefix + std::to_string(::getpid()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_ / "Compiler");
    Write("Compiler/OpCode.qrx", CrLf({"NOP||90"}));
    Write("Compiler/TheFile.asm", source);
    std::filesystem::current_path(dir_);
  }
  void TearDown() override {
    std::filesystem::current_path(old_);
    std::filesystem::remove_all(dir_);
  }
  void Write(const std::string& name, const std::string& text) {
    std::ofstream(dir_ / name, std::ios::binary) << text;
  }
  std::filesystem::path old_, dir_;
};

}  // namespace quorix::testing_support
