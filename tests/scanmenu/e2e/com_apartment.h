// The whole test program runs in one single-threaded apartment, as the
// shell's own threads do, with Scanmenu.dll registered for its lifetime.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>

#include "scanmenu/e2e/shell_host.h"

namespace shell_host {

class ComApartment : public ::testing::Environment {
 public:
  void SetUp() override {
    ASSERT_EQ(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    registration_ = std::make_unique<ClassRegistration>();
    ASSERT_TRUE(registration_->ok());
  }
  void TearDown() override {
    registration_.reset();
    ::CoUninitialize();
  }

 private:
  std::unique_ptr<ClassRegistration> registration_;
};

}  // namespace shell_host
