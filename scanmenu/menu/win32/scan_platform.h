// The scan request's operating-system calls on Windows.
#pragma once

#include "scanmenu/menu/scan_request.h"

namespace scanmenu {

class Win32ScanPlatform final : public ScanPlatform {
 public:
  std::optional<std::u16string> TemporaryDirectory() override;
  std::unique_ptr<ListFile> OpenListFile(const std::u16string& path) override;
  application::PresenceOpen OpenPresenceEvent() override;
  bool Open(const std::u16string& file, const std::u16string& parameters) override;
};

}  // namespace scanmenu
