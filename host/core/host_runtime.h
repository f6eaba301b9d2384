// The stand-in host runtime (test equipment): what a module reaches through
// the host's export "Execution" and the services it hands out. It answers
// code 3053 with the host items, each answer configurable per test, and
// logs every call. One instance per binary that links it (Runtime()); a test
// that loads qg300vm.so reaches that library's instance through its export
// "qghost_Runtime".
//
// The public operations are virtual so that a caller in another binary runs
// the code of the binary that owns the instance.
#ifndef QG_HOST_CORE_HOST_RUNTIME_H_
#define QG_HOST_CORE_HOST_RUNTIME_H_

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "host/core/component_access.h"
#include "host/core/global_factory.h"
#include "host/core/info_locale.h"
#include "host/core/string_memory.h"
#include "support/frame/host_services.h"

namespace qghost {

struct HostCall {
  int32_t nCode;
  intptr_t nArgument;
};

// What the message-text callback answers.
enum class MessageMode {
  kZero,           // 0 for every number: no text
  kText,           // the configured text, cut to the buffer; answers its length
  kExactCapacity,  // a text of exactly capacity - 1 characters
};

class HostRuntime {
 public:
  HostRuntime();
  virtual ~HostRuntime();
  HostRuntime(const HostRuntime&) = delete;
  HostRuntime& operator=(const HostRuntime&) = delete;

  // The host's export Execution(code, argument).
  virtual intptr_t Execution(int32_t code, intptr_t argument);

  // Item answers. Defaults: 9 value-object service, 12 locale version 5,
  // 13 string memory, 7 a runtime object, 1 execution kind 1, 4 flags 0,
  // 8 file-format version 30; every other item absent.
  virtual void SetItem(int32_t item, intptr_t answer);
  // The host does not know the item: it answers 0 and counts the question.
  virtual void SetItemAbsent(int32_t item);
  // Item 12: 5, 4, or 0 for a null answer.
  virtual void UseLocaleVersion(int version);
  virtual void SetFileFormatVersion(int32_t version);
  virtual void ResetItems();
  virtual intptr_t RuntimeObject() const;

  // Call log.
  virtual std::vector<HostCall> Calls() const;
  // The items asked with code 3053, in order.
  virtual std::vector<int32_t> ItemsAsked() const;
  virtual int nAbsentItemsAsked() const;
  virtual void ClearLog();

  // Services.
  virtual StringMemory& Strings();
  virtual InfoLocale& Locale();
  virtual InfoLocaleV4& LocaleV4();
  virtual GlobalFactory& Values();

  // The message-text callback the host hands to CommandeComposante(2).
  virtual qg::PFN_MessageText MessageCallback();
  virtual void SetMessageMode(MessageMode mode, const std::u16string& text = std::u16string());
  virtual int nMessageCalls() const;
  // Capacity of the last call of the callback.
  virtual int32_t nLastMessageCapacity() const;

  // Calls of the calculation entry point `index` and of the conversion.
  virtual void CountCalc(int index);
  virtual int nCalcCalls(int index) const;
  virtual void CountConversion();
  virtual int nConversionCalls() const;

  // Back to the defaults; clears the log. Live strings and objects stay.
  virtual void Reset();

  // Body of the message-text callback.
  virtual int32_t MessageText(int32_t number, char16_t* buffer, int32_t capacity);

  // The runtime object (item 7): the test runner's component access.
  virtual ComponentAccess& Components();

 private:
  void SetDefaultItems();  // mu_ held

  mutable std::mutex mu_;
  StringMemory strings_;
  InfoLocale locale_;
  InfoLocaleV4 locale_v4_;
  GlobalFactory values_;
  ComponentAccess components_;  // the runtime object
  std::map<int32_t, intptr_t> items_;
  std::vector<HostCall> calls_;
  int absent_asked_ = 0;
  MessageMode message_mode_ = MessageMode::kZero;
  std::u16string message_text_;
  int message_calls_ = 0;
  int32_t last_message_capacity_ = 0;
  int calc_calls_[30] = {};
  int conversion_calls_ = 0;
};

// The instance of this binary.
HostRuntime& Runtime();

// The host's "Execution" export body, on Runtime().
intptr_t HostExecution(int32_t code, intptr_t argument);

}  // namespace qghost

#endif  // QG_HOST_CORE_HOST_RUNTIME_H_
