#include "scanmenu/module/script/script_interpreter.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string_view>

#include "common/text/ascii_case.h"
#include "scanmenu/module/script/scoped_key.h"

namespace scanmenu::script {
namespace {

struct RootKeyName {
  std::u16string_view name;
  RootKey root;
};

// Looked up in this order; the first equal name wins.
constexpr RootKeyName kRootKeyTable[] = {
    {u"HKCR", RootKey::kClassesRoot},
    {u"HKCU", RootKey::kCurrentUser},
    {u"HKLM", RootKey::kLocalMachine},
    {u"HKU", RootKey::kUsers},
    {u"HKPD", RootKey::kPerformanceData},
    {u"HKDD", RootKey::kDynData},
    {u"HKCC", RootKey::kCurrentConfig},
    {u"HKEY_CLASSES_ROOT", RootKey::kClassesRoot},
    {u"HKEY_CURRENT_USER", RootKey::kCurrentUser},
    {u"HKEY_LOCAL_MACHINE", RootKey::kLocalMachine},
    {u"HKEY_USERS", RootKey::kUsers},
    {u"HKEY_PERFORMANCE_DATA", RootKey::kPerformanceData},
    {u"HKEY_DYN_DATA", RootKey::kDynData},
    {u"HKEY_CURRENT_CONFIG", RootKey::kCurrentConfig},
};

// Keys that a forced removal never deletes, at any depth.
constexpr std::u16string_view kProtectedKeyNames[] = {
    u"AppID",    u"CLSID",     u"Component Categories",
    u"FileType", u"Interface", u"Hardware",
    u"Mime",     u"SAM",       u"SECURITY",
    u"SYSTEM",   u"Software",  u"TypeLib",
};

struct ValueType {
  std::u16string_view letter;
  std::uint32_t type;
};

constexpr ValueType kValueTypes[] = {
    {u"S", kTypeString},
    {u"M", kTypeMultiString},
    {u"D", kTypeDword},
    {u"B", kTypeBinary},
};

// Longest key name kept for the deletion at the end of an unregistered item.
constexpr std::size_t kKeyNameBufferSize = 260;
// Longest subkey name a tree deletion reads, with its terminator.
constexpr std::uint32_t kSubkeyNameBufferSize = 256;
// Multi-string and binary data up to this size are built on the stack.
constexpr std::size_t kValueStackBytes = 256;

bool IsWhitespace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; }

// The token's length when it is at most `limit`, else limit + 1. The keyword
// tests of an item look no further, so that a long token costs no more in
// them than a short one.
std::size_t LengthUpTo(const ScriptInterpreter::TokenBuffer& token, std::size_t limit) {
  std::size_t length = 0;
  while (length <= limit && token[length] != 0) ++length;
  return length;
}

bool TokenIs(const ScriptInterpreter::TokenBuffer& token, std::u16string_view keyword) {
  return LengthUpTo(token, keyword.size()) == keyword.size() &&
         text::EqualsIgnoringAsciiCase(std::u16string_view(token.data(), keyword.size()), keyword);
}

bool TokenIsExactly(const ScriptInterpreter::TokenBuffer& token, std::u16string_view text) {
  return LengthUpTo(token, text.size()) == text.size() && std::u16string_view(token.data(), text.size()) == text;
}

std::optional<RootKey> LookUpRootKey(const ScriptInterpreter::TokenBuffer& token) {
  for (const RootKeyName& entry : kRootKeyTable) {
    if (TokenIs(token, entry.name)) return entry.root;
  }
  return std::nullopt;
}

bool IsProtectedKeyName(const ScriptInterpreter::TokenBuffer& token) {
  return std::any_of(std::begin(kProtectedKeyNames), std::end(kProtectedKeyNames),
                     [&](std::u16string_view name) { return TokenIs(token, name); });
}

// One item names one key level: no backslash, and not the empty name, which
// would stand for the parent itself.
bool IsSingleKeyName(const ScriptInterpreter::TokenBuffer& token) {
  const std::u16string_view name(token.data());
  return !name.empty() && name.find(u'\\') == std::u16string_view::npos;
}

int HexDigitValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return 0;
}

// Storage for value data: on the stack when it is small, else on the heap.
class ValueBytes {
 public:
  bool Allocate(std::size_t size) {
    if (size <= kValueStackBytes) {
      data_ = stack_;
    } else {
      heap_.reset(new (std::nothrow) std::uint8_t[size]);
      data_ = heap_.get();
    }
    if (data_ != nullptr) std::memset(data_, 0, size);
    return data_ != nullptr;
  }
  std::uint8_t* data() { return data_; }

 private:
  alignas(char16_t) std::uint8_t stack_[kValueStackBytes];
  std::unique_ptr<std::uint8_t[]> heap_;
  std::uint8_t* data_ = nullptr;
};

// Counts the nesting of blocks for as long as one block is being processed.
class DepthScope {
 public:
  explicit DepthScope(int& depth) : depth_(depth) { ++depth_; }
  ~DepthScope() { --depth_; }
  DepthScope(const DepthScope&) = delete;
  DepthScope& operator=(const DepthScope&) = delete;

 private:
  int& depth_;
};

}  // namespace

ScriptInterpreter::ScriptInterpreter(RegistryAccess& registry, NumberConverter convert_number)
    : registry_(registry), convert_number_(convert_number) {}

HResult ScriptInterpreter::ExpandVariables(const char16_t* script, const SubstitutionList& substitutions,
                                           std::u16string& expanded) {
  expanded.clear();
  if (script == nullptr) return kHrPointer;
  const std::u16string_view input(script);
  try {
    std::size_t capacity = input.size() * 2;
    if (capacity < 100) capacity = 1000;
    expanded.reserve(capacity);
    const auto append = [&](std::u16string_view piece) {
      if (expanded.size() + piece.size() > expanded.capacity()) {
        std::size_t grown = expanded.capacity() * 2;
        while (grown < expanded.size() + piece.size()) grown *= 2;
        expanded.reserve(grown);
      }
      expanded.append(piece);
    };

    for (std::size_t i = 0; i < input.size();) {
      if (input[i] != u'%') {
        const std::size_t next = std::min(input.find(u'%', i), input.size());
        append(input.substr(i, next - i));
        i = next;
        continue;
      }
      if (i + 1 < input.size() && input[i + 1] == u'%') {
        append(u"%");
        i += 2;
        continue;
      }
      const std::size_t close = input.find(u'%', i + 1);
      if (close == std::u16string_view::npos) {
        expanded.clear();
        return kHrDispException;
      }
      const std::u16string_view name = input.substr(i + 1, close - i - 1);
      if (name.size() > kMaxSubstitutionName) {
        expanded.clear();
        return kHrFail;
      }
      const Substitution* entry = FindSubstitution(substitutions, name);
      if (entry == nullptr) {
        expanded.clear();
        return kHrDispException;
      }
      append(entry->text);
      i = close + 1;
    }
  } catch (const std::bad_alloc&) {
    expanded.clear();
    expanded.shrink_to_fit();
    return kHrOutOfMemory;
  }
  return kHrOk;
}

HResult ScriptInterpreter::RunScript(const char16_t* script, bool register_mode,
                                     const SubstitutionList& substitutions) {
  HResult hr = ExpandVariables(script, substitutions, expanded_);
  if (Failed(hr)) return hr;
  position_ = expanded_.c_str();
  depth_ = 0;

  TokenBuffer token;
  while (*position_ != 0) {
    hr = ReadToken(token);
    if (Failed(hr)) break;
    const std::optional<RootKey> root = LookUpRootKey(token);
    if (!root) {
      hr = kHrDispException;
      break;
    }
    hr = ReadToken(token);
    if (Failed(hr)) break;
    if (token[0] != u'{') {
      hr = kHrDispException;
      break;
    }
    const RegistryKey root_key = RootKeyHandle(*root);
    if (register_mode) {
      const char16_t* const block_start = position_;
      too_deep_ = false;
      hr = ProcessBlock(token, root_key, true, false);
      if (Failed(hr)) {
        // Undo what this root block wrote; earlier blocks stay applied.
        position_ = block_start;
        too_deep_ = false;
        ProcessBlock(token, root_key, false, false);
        break;
      }
    } else {
      too_deep_ = false;
      hr = ProcessBlock(token, root_key, false, false);
      if (Failed(hr)) break;
    }
    SkipWhitespace();
  }

  expanded_.clear();
  expanded_.shrink_to_fit();
  position_ = nullptr;
  return hr;
}

void ScriptInterpreter::SkipWhitespace() {
  while (IsWhitespace(*position_)) ++position_;
}

HResult ScriptInterpreter::ReadToken(TokenBuffer& token) {
  token[0] = 0;
  SkipWhitespace();
  if (*position_ == 0) return kHrDispException;

  std::size_t length = 0;
  const auto append = [&](char16_t c) {
    if (length == kMaxTokenLength) return false;
    token[length++] = c;
    return true;
  };
  bool complete = true;
  if (*position_ == u'\'') {
    // Quoted: up to the next single quote not followed by another one; two
    // quotes inside stand for one.
    ++position_;
    for (;;) {
      if (*position_ == 0) {
        complete = false;
        break;
      }
      if (*position_ == u'\'') {
        if (position_[1] != u'\'') {
          ++position_;
          break;
        }
        ++position_;
      }
      if (!append(*position_++)) {
        complete = false;
        break;
      }
    }
  } else {
    while (*position_ != 0 && !IsWhitespace(*position_)) {
      if (!append(*position_++)) {
        complete = false;
        break;
      }
    }
  }
  token[complete ? length : 0] = 0;
  return complete ? kHrOk : kHrDispException;
}

HResult ScriptInterpreter::ProcessBlock(TokenBuffer& token, RegistryKey parent, bool register_mode, bool recovery) {
  DepthScope depth(depth_);
  if (depth_ > kMaxBlockDepth) {
    too_deep_ = true;
    return kHrDispException;
  }

  ScopedKey current(registry_);
  TokenBuffer value_name;

  HResult hr = ReadToken(token);
  if (Failed(hr)) return hr;
  while (token[0] != u'}') {
    bool delete_flag = true;
    const bool is_delete = TokenIs(token, u"Delete");
    bool item_done = false;  // a Delete item in register mode creates nothing

    if (is_delete || TokenIs(token, u"ForceRemove")) {
      hr = ReadToken(token);
      if (Failed(hr)) return hr;
      if (register_mode) {
        if (!IsSingleKeyName(token)) return kHrDispException;
        if (!IsProtectedKeyName(token)) DeleteKeyTree(parent, token.data());
        if (is_delete) {
          hr = ReadToken(token);
          if (Failed(hr)) return hr;
          hr = SkipValueClause(token);
          if (Failed(hr)) return hr;
          item_done = true;
        }
      }
    }

    if (!item_done && TokenIs(token, u"NoRemove")) {
      delete_flag = false;
      hr = ReadToken(token);
      if (Failed(hr)) return hr;
    }

    if (item_done) {
    } else if (TokenIs(token, u"Val")) {
      hr = ReadToken(value_name);
      if (Failed(hr)) return hr;
      hr = ReadToken(token);
      if (Failed(hr)) return hr;
      if (token[0] != u'=') return kHrDispException;
      if (register_mode) {
        hr = WriteValue(parent, value_name.data(), token);
        if (Failed(hr)) return hr;
      } else {
        if (!recovery && delete_flag) {
          hr = UnregisterValue(parent, value_name.data());
          if (Failed(hr)) return hr;
        }
        hr = SkipValueClause(token);
        if (Failed(hr)) return hr;
      }
    } else {
      if (!IsSingleKeyName(token)) return kHrDispException;
      if (register_mode) {
        hr = RegisterKey(parent, token.data(), current);
        if (Failed(hr)) return hr;
        hr = ReadToken(token);
        if (Failed(hr)) return hr;
        if (token[0] == u'=') {
          hr = WriteValue(current.get(), nullptr, token);
          if (Failed(hr)) return hr;
        }
      } else {
        hr = UnregisterKey(token, parent, recovery, delete_flag);
        if (Failed(hr)) return hr;
      }
    }

    // A nested block after a key, value or Delete item, in register mode.
    if (register_mode && TokenIsExactly(token, u"{")) {
      hr = ProcessBlock(token, current.get(), true, false);
      if (Failed(hr)) return hr;
      hr = ReadToken(token);
      if (Failed(hr)) return hr;
    }
  }
  return hr;
}

// Opens parent\name for reading and writing, else for reading, else creates
// it; the key becomes the level's current key.
HResult ScriptInterpreter::RegisterKey(RegistryKey parent, const char16_t* name, ScopedKey& current) {
  ScopedKey opened(registry_);
  if (registry_.OpenKey(parent, name, kAccessReadWrite, opened.put()) != kErrorSuccess &&
      registry_.OpenKey(parent, name, kAccessRead, opened.put()) != kErrorSuccess) {
    const std::int32_t error = registry_.CreateKey(parent, name, kAccessReadWrite, opened.put());
    if (error != kErrorSuccess) return HResultFromError(error);
  }
  const std::int32_t error = current.reset();
  current = std::move(opened);
  return HResultFromError(error);
}

// One key item in unregister mode, entered with the key name in `token` and
// left with the token after the item. The key is removed after its nested
// block, when it has no subkeys left and is not marked NoRemove.
HResult ScriptInterpreter::UnregisterKey(TokenBuffer& token, RegistryKey parent, bool recovery, bool delete_flag) {
  ScopedKey key(registry_);
  const std::int32_t open_error =
      recovery ? kErrorNotFound : registry_.OpenKey(parent, token.data(), kAccessRead, key.put());
  const bool nested_recovery = open_error != kErrorSuccess || recovery;

  char16_t key_name[kKeyNameBufferSize];
  const std::size_t name_length = std::min(std::u16string_view(token.data()).size(), kKeyNameBufferSize - 1);
  std::copy_n(token.data(), name_length, key_name);
  key_name[name_length] = 0;

  HResult hr = ReadToken(token);
  if (Failed(hr)) return hr;
  hr = SkipValueClause(token);
  if (Failed(hr)) return hr;
  if (TokenIsExactly(token, u"{")) {
    hr = ProcessBlock(token, key.get(), false, nested_recovery);
    // A block that runs in recovery touches nothing, and what goes wrong in
    // it does not matter, unless the script nests too deeply.
    if (Failed(hr) && (!nested_recovery || too_deep_)) return hr;
    hr = ReadToken(token);
    if (Failed(hr)) return hr;
  }

  if (open_error == kErrorNotFound) return kHrOk;
  if (open_error != kErrorSuccess) return HResultFromError(open_error);

  std::uint32_t subkeys = 0;
  const bool has_subkeys = registry_.QuerySubkeyCount(key.get(), &subkeys) == kErrorSuccess && subkeys > 0;
  std::int32_t error = key.reset();
  if (error != kErrorSuccess) return HResultFromError(error);
  if (delete_flag && !has_subkeys) {
    error = registry_.DeleteKey(parent, key_name);
    if (error != kErrorSuccess) return HResultFromError(error);
  }
  return kHrOk;
}

HResult ScriptInterpreter::UnregisterValue(RegistryKey parent, const char16_t* name) {
  ScopedKey writable(registry_);
  std::int32_t error = registry_.OpenKey(parent, nullptr, kAccessWrite, writable.put());
  if (error != kErrorSuccess) return HResultFromError(error);
  error = registry_.DeleteValue(writable.get(), name);
  if (error != kErrorSuccess && error != kErrorNotFound) return HResultFromError(error);
  return kHrOk;
}

// Entered with the "=" token in `token`; leaves the token after the value in it.
HResult ScriptInterpreter::WriteValue(RegistryKey key, const char16_t* value_name, TokenBuffer& token) {
  HResult hr = ReadToken(token);
  if (Failed(hr)) return hr;
  const auto* type = std::find_if(std::begin(kValueTypes), std::end(kValueTypes),
                                  [&](const ValueType& entry) { return TokenIs(token, entry.letter); });
  if (type == std::end(kValueTypes)) return kHrDispException;

  SkipWhitespace();
  TokenBuffer text;
  hr = ReadToken(text);
  if (Failed(hr)) return hr;
  const std::size_t length = std::u16string_view(text.data()).size();

  std::int32_t error = kErrorSuccess;
  switch (type->type) {
    case kTypeString:
      error = registry_.SetValue(key, value_name, kTypeString, reinterpret_cast<const std::uint8_t*>(text.data()),
                                 static_cast<std::uint32_t>((length + 1) * sizeof(char16_t)));
      break;
    case kTypeMultiString: {
      // Each \0 separates two strings; the data ends after the first empty one.
      ValueBytes bytes;
      if (!bytes.Allocate((length + 2) * sizeof(char16_t))) return kHrOutOfMemory;
      auto* strings = reinterpret_cast<char16_t*>(bytes.data());
      std::size_t out = 0;
      for (std::size_t i = 0; i < length; ++i) {
        if (text[i] == u'\\' && text[i + 1] == u'0') {
          strings[out++] = 0;
          ++i;
        } else {
          strings[out++] = text[i];
        }
      }
      strings[out++] = 0;
      strings[out] = 0;
      std::size_t count = 0;
      for (;;) {
        const std::size_t string_length = std::u16string_view(strings + count).size();
        count += string_length + 1;
        if (string_length == 0) break;
      }
      error = registry_.SetValue(key, value_name, kTypeMultiString, bytes.data(),
                                 static_cast<std::uint32_t>(count * sizeof(char16_t)));
      break;
    }
    case kTypeDword: {
      std::uint32_t number = 0;
      hr = convert_number_(text.data(), &number);
      if (Failed(hr)) return hr;
      const std::uint8_t data[4] = {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
                                    static_cast<std::uint8_t>(number >> 16), static_cast<std::uint8_t>(number >> 24)};
      error = registry_.SetValue(key, value_name, kTypeDword, data, sizeof data);
      break;
    }
    case kTypeBinary: {
      if (length % 2 != 0) return kHrFail;
      ValueBytes bytes;
      if (!bytes.Allocate(length / 2)) return kHrOutOfMemory;
      for (std::size_t i = 0; i < length; ++i) {
        bytes.data()[i / 2] |= static_cast<std::uint8_t>(HexDigitValue(text[i]) << (i % 2 == 0 ? 4 : 0));
      }
      error = registry_.SetValue(key, value_name, kTypeBinary, bytes.data(), static_cast<std::uint32_t>(length / 2));
      break;
    }
  }
  if (error != kErrorSuccess) return HResultFromError(error);
  return ReadToken(token);
}

HResult ScriptInterpreter::SkipValueClause(TokenBuffer& token) {
  if (token[0] != u'=') return kHrOk;
  HResult hr = ReadToken(token);
  if (Failed(hr)) return hr;
  SkipWhitespace();
  TokenBuffer text;
  hr = ReadToken(text);
  if (Failed(hr)) return hr;
  return ReadToken(token);
}

std::int32_t ScriptInterpreter::DeleteKeyTree(RegistryKey parent, const char16_t* name) {
  ScopedKey key(registry_);
  std::int32_t error = registry_.OpenKey(parent, name, kAccessReadWrite, key.put());
  if (error != kErrorSuccess) return error;
  char16_t subkey[kSubkeyNameBufferSize];
  while (registry_.FirstSubkeyName(key.get(), subkey, kSubkeyNameBufferSize) == kErrorSuccess) {
    error = DeleteKeyTree(key.get(), subkey);
    if (error != kErrorSuccess) return error;
  }
  key.reset();
  return registry_.DeleteKey(parent, name);
}

}  // namespace scanmenu::script
