#include "debug_output_listener.h"

#include <cstring>

#include "support/win32/platform.h"

namespace test_support {
namespace {

constexpr DWORD kBufferBytes = 4096;

}  // namespace

DebugOutputListener::DebugOutputListener() {
  std::vector<std::wstring> prefixes{L""};
  if (!test_support::RunningUnderWine()) prefixes.push_back(L"Global\\");
  listening_ = true;
  for (const std::wstring& prefix : prefixes) {
    channels_.push_back(std::make_unique<Channel>());
    if (!Open(*channels_.back(), prefix)) listening_ = false;
  }
  if (!listening_) return;
  for (auto& channel : channels_) {
    Channel* open = channel.get();
    channel->thread = std::thread([this, open] { Run(*open); });
  }
}

bool DebugOutputListener::Open(Channel& channel, const std::wstring& prefix) {
  channel.buffer_ready.reset(CreateEventW(nullptr, FALSE, FALSE, (prefix + L"DBWIN_BUFFER_READY").c_str()));
  if (!channel.buffer_ready || GetLastError() == ERROR_ALREADY_EXISTS) return false;
  channel.data_ready.reset(CreateEventW(nullptr, FALSE, FALSE, (prefix + L"DBWIN_DATA_READY").c_str()));
  channel.mapping.reset(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBufferBytes,
                                           (prefix + L"DBWIN_BUFFER").c_str()));
  if (!channel.data_ready || !channel.mapping) return false;
  channel.view = MapViewOfFile(channel.mapping.get(), FILE_MAP_READ, 0, 0, kBufferBytes);
  return channel.view != nullptr;
}

DebugOutputListener::~DebugOutputListener() {
  stop_ = true;
  for (auto& channel : channels_) {
    if (channel->thread.joinable()) channel->thread.join();
    if (channel->view != nullptr) UnmapViewOfFile(channel->view);
  }
}

void DebugOutputListener::Run(Channel& channel) {
  while (!stop_) {
    SetEvent(channel.buffer_ready.get());
    if (WaitForSingleObject(channel.data_ready.get(), 100) != WAIT_OBJECT_0) continue;
    const auto* bytes = static_cast<const char*>(channel.view);
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

}  // namespace test_support
