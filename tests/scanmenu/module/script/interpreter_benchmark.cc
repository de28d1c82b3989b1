// The interpreter's own cost: registering and unregistering the class script
// on the in-memory registry, against issuing the very registry operations of
// that run directly, in the same order, on the same kind of registry. The
// operations are recorded once from a real run. Prints both medians and
// "ratio interpreter R 1.5".
//
//   script_interpreter_benchmark [runs per round] [rounds]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "class_script.h"
#include "memory_registry.h"
#include "scanmenu/module/script/script_interpreter.h"

namespace {

using scanmenu::script::RegistryAccess;
using scanmenu::script::RegistryKey;
using scanmenu::script::ScriptInterpreter;
using scanmenu::script::SubstitutionList;
using test_support::kClassScript;
using test_support::MemoryRegistry;

// One registry call with its arguments. Keys are either a slot (a handle an
// earlier call returned) or a literal (a root key).
struct Call {
  enum Kind { kOpen, kCreate, kClose, kDelete, kFirstSubkey, kCount, kSet, kDeleteValue } kind;
  int slot = -1;
  RegistryKey literal = 0;
  bool has_name = false;
  std::u16string name;
  std::uint32_t access = 0;
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
  int result_slot = -1;
};

// Passes every call on to a registry and writes it down.
class Recorder final : public RegistryAccess {
 public:
  explicit Recorder(RegistryAccess& inner) : inner_(inner) {}
  std::vector<Call> calls_;

  std::int32_t OpenKey(RegistryKey parent, const char16_t* subkey, std::uint32_t access, RegistryKey* key) override {
    return Opening(Call::kOpen, parent, subkey, access, key,
                   [&] { return inner_.OpenKey(parent, subkey, access, key); });
  }
  std::int32_t CreateKey(RegistryKey parent, const char16_t* name, std::uint32_t access, RegistryKey* key) override {
    return Opening(Call::kCreate, parent, name, access, key,
                   [&] { return inner_.CreateKey(parent, name, access, key); });
  }
  std::int32_t CloseKey(RegistryKey key) override {
    Add(Call::kClose, key, nullptr);
    return inner_.CloseKey(key);
  }
  std::int32_t DeleteKey(RegistryKey parent, const char16_t* name) override {
    Add(Call::kDelete, parent, name);
    return inner_.DeleteKey(parent, name);
  }
  std::int32_t FirstSubkeyName(RegistryKey key, char16_t* name, std::uint32_t capacity) override {
    Add(Call::kFirstSubkey, key, nullptr);
    return inner_.FirstSubkeyName(key, name, capacity);
  }
  std::int32_t QuerySubkeyCount(RegistryKey key, std::uint32_t* count) override {
    Add(Call::kCount, key, nullptr);
    return inner_.QuerySubkeyCount(key, count);
  }
  std::int32_t SetValue(RegistryKey key, const char16_t* name, std::uint32_t type, const std::uint8_t* data,
                        std::uint32_t size) override {
    Call& call = Add(Call::kSet, key, name);
    call.type = type;
    call.data.assign(data, data + size);
    return inner_.SetValue(key, name, type, data, size);
  }
  std::int32_t DeleteValue(RegistryKey key, const char16_t* name) override {
    Add(Call::kDeleteValue, key, name);
    return inner_.DeleteValue(key, name);
  }

 private:
  Call& Add(Call::Kind kind, RegistryKey key, const char16_t* name) {
    Call call;
    call.kind = kind;
    if (auto slot = slots_.find(key); slot != slots_.end()) {
      call.slot = slot->second;
    } else {
      call.literal = key;
    }
    call.has_name = name != nullptr;
    if (name != nullptr) call.name = name;
    calls_.push_back(std::move(call));
    return calls_.back();
  }
  // A call that opens a key: the key it gives becomes the next slot.
  template <typename Operation>
  std::int32_t Opening(Call::Kind kind, RegistryKey parent, const char16_t* name, std::uint32_t access,
                       RegistryKey* key, Operation operation) {
    Call& call = Add(kind, parent, name);
    call.access = access;
    const std::int32_t error = operation();
    if (error == 0) {
      call.result_slot = next_slot_++;
      slots_[*key] = call.result_slot;
    }
    return error;
  }

  RegistryAccess& inner_;
  std::map<RegistryKey, int> slots_;
  int next_slot_ = 0;
};

// Issues the recorded calls directly.
void Replay(const std::vector<Call>& calls, RegistryAccess& registry, std::vector<RegistryKey>& slots) {
  char16_t subkey[256];
  std::uint32_t count = 0;
  for (const Call& call : calls) {
    const RegistryKey key = call.slot >= 0 ? slots[call.slot] : call.literal;
    const char16_t* name = call.has_name ? call.name.c_str() : nullptr;
    RegistryKey opened = 0;
    switch (call.kind) {
      case Call::kOpen:
        registry.OpenKey(key, name, call.access, &opened);
        break;
      case Call::kCreate:
        registry.CreateKey(key, name, call.access, &opened);
        break;
      case Call::kClose:
        registry.CloseKey(key);
        break;
      case Call::kDelete:
        registry.DeleteKey(key, name);
        break;
      case Call::kFirstSubkey:
        registry.FirstSubkeyName(key, subkey, 256);
        break;
      case Call::kCount:
        registry.QuerySubkeyCount(key, &count);
        break;
      case Call::kSet:
        registry.SetValue(key, name, call.type, call.data.data(), static_cast<std::uint32_t>(call.data.size()));
        break;
      case Call::kDeleteValue:
        registry.DeleteValue(key, name);
        break;
    }
    if (call.result_slot >= 0) slots[call.result_slot] = opened;
  }
}

double NowMs() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 2000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 7;
  if (runs < 1 || rounds < 1) return 2;
  const SubstitutionList substitutions = {{u"MODULE", u"C:\\Program Files\\Quenor Clean\\Scanmenu.dll"}};

  // The operations of one register-and-unregister run, and a check that both
  // ways leave the registry the same.
  std::vector<Call> calls;
  std::string interpreted_dump, replayed_dump;
  {
    MemoryRegistry registry;
    registry.set_record_calls(false);
    Recorder recorder(registry);
    ScriptInterpreter interpreter(recorder);
    if (interpreter.RunScript(kClassScript, true, substitutions) != scanmenu::script::kHrOk) return 1;
    if (interpreter.RunScript(kClassScript, false, substitutions) != scanmenu::script::kHrOk) return 1;
    interpreted_dump = registry.Dump();
    calls = std::move(recorder.calls_);
  }
  int slot_count = 0;
  for (const Call& call : calls) slot_count = std::max(slot_count, call.result_slot + 1);
  std::vector<RegistryKey> slots(static_cast<std::size_t>(slot_count));
  {
    MemoryRegistry registry;
    Replay(calls, registry, slots);
    replayed_dump = registry.Dump();
  }
  if (replayed_dump != interpreted_dump) {
    std::fprintf(stderr, "the replayed calls leave another registry than the interpreter\n");
    return 1;
  }

  std::vector<double> interpreter_us, direct_us, ratios;
  for (int round = 0; round < rounds; ++round) {
    double interpreted = 0, direct = 0;
    for (int half = 0; half < 2; ++half) {
      const bool interpreter_turn = (half == 0) == (round % 2 == 0);
      double spent = 0;
      for (int run = 0; run < runs; ++run) {
        MemoryRegistry registry;
        registry.set_record_calls(false);
        const double start = NowMs();
        if (interpreter_turn) {
          ScriptInterpreter interpreter(registry);
          interpreter.RunScript(kClassScript, true, substitutions);
          interpreter.RunScript(kClassScript, false, substitutions);
        } else {
          Replay(calls, registry, slots);
        }
        spent += NowMs() - start;
        if (registry.OpenHandleCount() != 0) {
          std::fprintf(stderr, "a handle was left open\n");
          return 1;
        }
      }
      (interpreter_turn ? interpreted : direct) = spent * 1000.0 / runs;
    }
    interpreter_us.push_back(interpreted);
    direct_us.push_back(direct);
    ratios.push_back(interpreted / direct);
  }
  std::printf("interpreter: %zu registry calls per run, %d rounds of %d runs\n", calls.size(), rounds, runs);
  std::printf("  interpreter        median %8.2f us per register and unregister\n", Median(interpreter_us));
  std::printf("  direct calls       median %8.2f us\n", Median(direct_us));
  std::printf("ratio interpreter %.3f %.2f\n", Median(ratios), 1.5);
  return 0;
}
