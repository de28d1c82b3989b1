#include "debug_output_listener.h"

#include <cstring>

namespace e2e {
namespace {

constexpr DWORD kBufferBytes = 4096;

}  // namespace

DebugOutputListener::DebugOutputListener() {
  buffer_ready_.Set(CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY"));
  if (!buffer_ready_ || GetLastError() == ERROR_ALREADY_EXISTS) return;
  data_ready_.Set(CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY"));
  mapping_.Set(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBufferBytes, L"DBWIN_BUFFER"));
  if (!data_ready_ || !mapping_) return;
  view_ = MapViewOfFile(mapping_.Get(), FILE_MAP_READ, 0, 0, kBufferBytes);
  if (view_ == nullptr) return;
  listening_ = true;
  thread_ = std::thread([this] { Run(); });
}

DebugOutputListener::~DebugOutputListener() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (view_ != nullptr) UnmapViewOfFile(view_);
}

void DebugOutputListener::Run() {
  while (!stop_) {
    SetEvent(buffer_ready_.Get());
    if (WaitForSingleObject(data_ready_.Get(), 100) != WAIT_OBJECT_0) continue;
    const auto* bytes = static_cast<const char*>(view_);
    Line line;
    std::memcpy(&line.process_id, bytes, sizeof(DWORD));
    const char* text = bytes + sizeof(DWORD);
    line.text.assign(text, strnlen(text, kBufferBytes - sizeof(DWORD)));
    std::lock_guard<std::mutex> guard(lock_);
    lines_.push_back(std::move(line));
  }
}

std::vector<DebugOutputListener::Line> DebugOutputListener::Lines() const {
  std::lock_guard<std::mutex> guard(lock_);
  return lines_;
}

std::vector<std::string> DebugOutputListener::Texts() const {
  std::vector<std::string> texts;
  for (const Line& line : Lines()) texts.push_back(line.text);
  return texts;
}

bool DebugOutputListener::WaitForLine(const std::string& part, DWORD timeout_ms) const {
  const ULONGLONG deadline = GetTickCount64() + timeout_ms;
  for (;;) {
    for (const Line& line : Lines()) {
      if (line.text.find(part) != std::string::npos) return true;
    }
    if (GetTickCount64() >= deadline) return false;
    Sleep(50);
  }
}

void DebugOutputListener::Clear() {
  std::lock_guard<std::mutex> guard(lock_);
  lines_.clear();
}

}  // namespace e2e
