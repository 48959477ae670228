// Test support for the access layer: an in-memory file system installed as the process's
// file list for the life of a fixture, with the default session deactivated at both ends so
// its engine session always belongs to the fixture's file system.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "dbaccess/quarry_session.h"
#include "dbaccess/session_list.h"
#include "engine/platform/memory_environment.h"
#include "engine/storage/files/file_list.h"

namespace quarry::testing {

class AccessFixture : public ::testing::Test {
 protected:
  AccessFixture() : list_(env_), scoped_(list_) {
    env_.MakeDirectory("/work");
    env_.MakeDirectory("/db");
    env_.MakeDirectory("/tmp");
    env_.SetCurrentDirectory("/work");
    DefaultSession().SetActive(false);
  }
  ~AccessFixture() override {
    Sessions().DeactivateAll();
    TQuarrySession::SetPasswordPrompt(nullptr);
  }

  TMemoryEnvironment env_;
  TFileList list_;
  TScopedFileList scoped_;
};

// The message of the database error the call raises ("" when it raises none).
inline std::string ErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const std::exception& error) {
    return error.what();
  }
  return "";
}

}  // namespace quarry::testing
