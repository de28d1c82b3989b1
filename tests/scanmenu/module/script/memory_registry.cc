#include "memory_registry.h"

#include <algorithm>

#include "registry_dump.h"

namespace test_support {

using scanmenu::script::kAccessRead;
using scanmenu::script::kAccessWrite;
using scanmenu::script::kErrorNotFound;
using scanmenu::script::kErrorSuccess;
using scanmenu::script::kNoKey;
using scanmenu::script::RegistryKey;
using scanmenu::script::RootKey;

namespace {

constexpr std::uint32_t kQueryValueRight = 0x1;
constexpr std::uint32_t kSetValueRight = 0x2;
constexpr std::uint32_t kCreateSubkeyRight = 0x4;
constexpr std::uint32_t kEnumerateSubkeysRight = 0x8;
constexpr std::size_t kMaxKeyNameLength = 255;

struct RootName {
  RootKey root;
  std::u16string_view name;
};

constexpr RootName kRoots[] = {
    {RootKey::kClassesRoot, u"HKCR"},   {RootKey::kCurrentUser, u"HKCU"},     {RootKey::kLocalMachine, u"HKLM"},
    {RootKey::kUsers, u"HKU"},          {RootKey::kPerformanceData, u"HKPD"}, {RootKey::kDynData, u"HKDD"},
    {RootKey::kCurrentConfig, u"HKCC"},
};

// Registry names compare ignoring case.
std::u16string Fold(std::u16string_view name) {
  std::u16string folded(name);
  for (char16_t& c : folded) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  }
  return folded;
}

std::vector<std::u16string_view> SplitPath(std::u16string_view path) {
  std::vector<std::u16string_view> parts;
  while (!path.empty()) {
    const std::size_t slash = std::min(path.find(u'\\'), path.size());
    if (slash > 0) parts.push_back(path.substr(0, slash));
    path.remove_prefix(std::min(slash + 1, path.size()));
  }
  return parts;
}

std::string Narrow(std::u16string_view text) { return Printable(text); }

std::string ValueName(const char16_t* name) { return name && *name ? Narrow(name) : "@"; }

}  // namespace

struct MemoryRegistry::Node {
  std::u16string path;
  std::u16string name;
  bool is_root = false;
  bool deleted = false;
  std::map<std::u16string, std::shared_ptr<Node>> children;                 // by folded name
  std::map<std::u16string, std::pair<std::u16string, StoredValue>> values;  // by folded name

  void Collect(std::vector<std::string>& lines) const {
    if (!is_root) lines.push_back(KeyLine(path));
    for (const auto& [folded, value] : values) {
      lines.push_back(ValueLine(path, value.first, value.second.type, value.second.data));
    }
    for (const auto& [folded, child] : children) child->Collect(lines);
  }

  void MarkDeleted() {
    deleted = true;
    for (auto& [folded, child] : children) child->MarkDeleted();
  }
};

MemoryRegistry::MemoryRegistry() {
  for (const RootName& root : kRoots) {
    auto node = std::make_shared<Node>();
    node->path = std::u16string(root.name);
    node->name = node->path;
    node->is_root = true;
    roots_[RootKeyHandle(root.root)] = std::move(node);
  }
}

MemoryRegistry::~MemoryRegistry() = default;

void MemoryRegistry::FailCall(int call, std::int32_t error) {
  fail_call_ = call_count_ + call;
  fail_error_ = error;
}

template <typename Describer>
bool MemoryRegistry::Intercept(Describer describe, std::int32_t* error) {
  ++call_count_;
  if (record_calls_) calls_.push_back(describe());
  if (call_count_ != fail_call_) return false;
  *error = fail_error_;
  return true;
}

std::string MemoryRegistry::Describe(RegistryKey key, const char16_t* name) const {
  std::string text;
  if (auto root = roots_.find(key); root != roots_.end()) {
    text = Narrow(root->second->path);
  } else if (auto handle = handles_.find(key); handle != handles_.end()) {
    text = Narrow(handle->second.node->path);
  } else {
    text = "<invalid>";
  }
  if (name != nullptr) {
    text += '\\';
    text += Narrow(name);
  }
  return text;
}

std::int32_t MemoryRegistry::Resolve(RegistryKey key, std::uint32_t needed, std::shared_ptr<Node>* node) const {
  if (auto root = roots_.find(key); root != roots_.end()) {
    *node = root->second;
    return kErrorSuccess;
  }
  auto handle = handles_.find(key);
  if (handle == handles_.end()) return kErrorInvalidHandle;
  if (handle->second.node->deleted) return kErrorKeyDeleted;
  if ((handle->second.access & needed) != needed) return kErrorAccessDenied;
  *node = handle->second.node;
  return kErrorSuccess;
}

RegistryKey MemoryRegistry::AddHandle(std::shared_ptr<Node> node, std::uint32_t access) {
  const RegistryKey key = next_handle_;
  next_handle_ += 4;
  handles_[key] = Handle{std::move(node), access};
  return key;
}

std::int32_t MemoryRegistry::OpenKey(RegistryKey parent, const char16_t* subkey, std::uint32_t access,
                                     RegistryKey* key) {
  *key = kNoKey;
  std::int32_t error = kErrorSuccess;
  const auto call = [&] {
    return "open " + Describe(parent, subkey) + (access == kAccessRead ? " r" : access == kAccessWrite ? " w" : " rw");
  };
  if (Intercept(call, &error)) return error;
  std::shared_ptr<Node> node;
  if ((error = Resolve(parent, 0, &node)) != kErrorSuccess) return error;
  for (std::u16string_view part : SplitPath(subkey ? subkey : u"")) {
    auto child = node->children.find(Fold(part));
    if (child == node->children.end()) return kErrorNotFound;
    node = child->second;
  }
  *key = AddHandle(std::move(node), access);
  return kErrorSuccess;
}

std::int32_t MemoryRegistry::CreateKey(RegistryKey parent, const char16_t* name, std::uint32_t access,
                                       RegistryKey* key) {
  *key = kNoKey;
  std::int32_t error = kErrorSuccess;
  if (Intercept([&] { return "create " + Describe(parent, name); }, &error)) return error;
  std::shared_ptr<Node> node;
  if ((error = Resolve(parent, 0, &node)) != kErrorSuccess) return error;
  const std::vector<std::u16string_view> parts = SplitPath(name ? name : u"");
  for (std::u16string_view part : parts) {
    if (part.size() > kMaxKeyNameLength) return kErrorInvalidParameter;
  }
  // Rights on the handle the call was given, for the first new level.
  std::uint32_t rights = 0xFFFFFFFF;
  if (auto handle = handles_.find(parent); handle != handles_.end()) rights = handle->second.access;
  for (std::u16string_view part : parts) {
    auto& child = node->children[Fold(part)];
    if (!child) {
      if ((rights & kCreateSubkeyRight) == 0) {
        node->children.erase(Fold(part));
        return kErrorAccessDenied;
      }
      child = std::make_shared<Node>();
      child->name = std::u16string(part);
      child->path = node->path + u"\\" + child->name;
    }
    node = child;
    rights = 0xFFFFFFFF;
  }
  *key = AddHandle(std::move(node), access);
  return kErrorSuccess;
}

std::int32_t MemoryRegistry::CloseKey(RegistryKey key) {
  std::int32_t error = kErrorSuccess;
  const bool fail = Intercept([&] { return "close " + Describe(key, nullptr); }, &error);
  if (roots_.count(key) != 0) return fail ? error : kErrorSuccess;
  if (handles_.erase(key) == 0 && !fail) return kErrorInvalidHandle;
  return fail ? error : kErrorSuccess;
}

std::int32_t MemoryRegistry::DeleteKey(RegistryKey parent, const char16_t* name) {
  std::int32_t error = kErrorSuccess;
  if (Intercept([&] { return "delete " + Describe(parent, name); }, &error)) return error;
  std::shared_ptr<Node> node;
  if ((error = Resolve(parent, 0, &node)) != kErrorSuccess) return error;
  const std::vector<std::u16string_view> parts = SplitPath(name ? name : u"");
  if (parts.empty()) return kErrorInvalidParameter;
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    auto child = node->children.find(Fold(parts[i]));
    if (child == node->children.end()) return kErrorNotFound;
    node = child->second;
  }
  auto victim = node->children.find(Fold(parts.back()));
  if (victim == node->children.end()) return kErrorNotFound;
  if (!victim->second->children.empty()) return kErrorAccessDenied;
  victim->second->MarkDeleted();
  node->children.erase(victim);
  return kErrorSuccess;
}

std::int32_t MemoryRegistry::FirstSubkeyName(RegistryKey key, char16_t* name, std::uint32_t capacity) {
  std::int32_t error = kErrorSuccess;
  if (Intercept([&] { return "first-subkey " + Describe(key, nullptr); }, &error)) return error;
  std::shared_ptr<Node> node;
  if ((error = Resolve(key, kEnumerateSubkeysRight, &node)) != kErrorSuccess) return error;
  if (node->children.empty()) return kErrorNoMoreItems;
  const std::u16string& first = node->children.begin()->second->name;
  if (first.size() + 1 > capacity) return kErrorMoreData;
  std::copy(first.begin(), first.end(), name);
  name[first.size()] = 0;
  return kErrorSuccess;
}

std::int32_t MemoryRegistry::QuerySubkeyCount(RegistryKey key, std::uint32_t* count) {
  std::int32_t error = kErrorSuccess;
  if (Intercept([&] { return "count-subkeys " + Describe(key, nullptr); }, &error)) return error;
  std::shared_ptr<Node> node;
  if ((error = Resolve(key, kQueryValueRight, &node)) != kErrorSuccess) return error;
  *count = static_cast<std::uint32_t>(node->children.size());
  return kErrorSuccess;
}

std::int32_t MemoryRegistry::SetValue(RegistryKey key, const char16_t* name, std::uint32_t type,
                                      const std::uint8_t* data, std::uint32_t size) {
  std::int32_t error = kErrorSuccess;
  if (Intercept([&] { return "set " + Describe(key, nullptr) + " : " + ValueName(name); }, &error)) return error;
  std::shared_ptr<Node> node;
  if ((error = Resolve(key, kSetValueRight, &node)) != kErrorSuccess) return error;
  const std::u16string value_name = name ? name : u"";
  node->values[Fold(value_name)] = {value_name, StoredValue{type, std::vector<std::uint8_t>(data, data + size)}};
  return kErrorSuccess;
}

std::int32_t MemoryRegistry::DeleteValue(RegistryKey key, const char16_t* name) {
  std::int32_t error = kErrorSuccess;
  if (Intercept([&] { return "delete-value " + Describe(key, nullptr) + " : " + ValueName(name); }, &error)) {
    return error;
  }
  std::shared_ptr<Node> node;
  if ((error = Resolve(key, kSetValueRight, &node)) != kErrorSuccess) return error;
  return node->values.erase(Fold(name ? name : u"")) != 0 ? kErrorSuccess : kErrorNotFound;
}

const MemoryRegistry::Node* MemoryRegistry::Find(std::u16string_view path) const {
  const std::vector<std::u16string_view> parts = SplitPath(path);
  if (parts.empty()) return nullptr;
  const Node* node = nullptr;
  for (const auto& [handle, root] : roots_) {
    if (root->path == parts[0]) node = root.get();
  }
  for (std::size_t i = 1; node != nullptr && i < parts.size(); ++i) {
    auto child = node->children.find(Fold(parts[i]));
    node = child == node->children.end() ? nullptr : child->second.get();
  }
  return node;
}

bool MemoryRegistry::HasKey(std::u16string_view path) const { return Find(path) != nullptr; }

std::optional<StoredValue> MemoryRegistry::GetValue(std::u16string_view path, std::u16string_view name) const {
  const Node* node = Find(path);
  if (node == nullptr) return std::nullopt;
  auto value = node->values.find(Fold(name));
  if (value == node->values.end()) return std::nullopt;
  return value->second.second;
}

std::string MemoryRegistry::Dump() const {
  std::vector<std::string> lines;
  for (const RootName& root : kRoots) roots_.at(RootKeyHandle(root.root))->Collect(lines);
  return JoinSorted(std::move(lines));
}

}  // namespace test_support
