#include "host/core/host_runtime.h"

#include <algorithm>

#include "support/frame/execution_protocol.h"

namespace qghost {

namespace {

int32_t MessageTextCallback(int32_t number, char16_t* buffer, int32_t capacity) {
  return Runtime().MessageText(number, buffer, capacity);
}

}  // namespace

HostRuntime::HostRuntime() { SetDefaultItems(); }

HostRuntime::~HostRuntime() = default;

void HostRuntime::SetDefaultItems() {
  items_.clear();
  items_[qg::kItemValueObjects] = reinterpret_cast<intptr_t>(static_cast<qg::IGlobalFactory*>(&values_));
  items_[qg::kItemInfoLocale] = reinterpret_cast<intptr_t>(static_cast<qg::IInfoLocale*>(&locale_));
  items_[qg::kItemStringMemory] =
      reinterpret_cast<intptr_t>(static_cast<qg::IStringMemory*>(&strings_));
  items_[qg::kItemRuntimeObject] = RuntimeObject();
  items_[qg::kItemExecutionKind] = 1;
  items_[qg::kItemFlags] = 0;
  items_[qg::kItemFileFormat] = qg::kMinFileFormatVersion;
}

intptr_t HostRuntime::Execution(int32_t code, intptr_t argument) {
  std::lock_guard<std::mutex> l(mu_);
  calls_.push_back(HostCall{code, argument});
  if (code != qg::kHostItemQuery) return 0;
  auto it = items_.find(static_cast<int32_t>(argument));
  if (it == items_.end()) {
    ++absent_asked_;
    return 0;
  }
  return it->second;
}

void HostRuntime::SetItem(int32_t item, intptr_t answer) {
  std::lock_guard<std::mutex> l(mu_);
  items_[item] = answer;
}

void HostRuntime::SetItemAbsent(int32_t item) {
  std::lock_guard<std::mutex> l(mu_);
  items_.erase(item);
}

void HostRuntime::UseLocaleVersion(int version) {
  intptr_t answer = 0;
  if (version == 5) answer = reinterpret_cast<intptr_t>(static_cast<qg::IInfoLocale*>(&locale_));
  if (version == 4) answer = reinterpret_cast<intptr_t>(static_cast<qg::IInfoLocale*>(&locale_v4_));
  SetItem(qg::kItemInfoLocale, answer);
}

void HostRuntime::SetFileFormatVersion(int32_t version) { SetItem(qg::kItemFileFormat, version); }

void HostRuntime::ResetItems() {
  std::lock_guard<std::mutex> l(mu_);
  SetDefaultItems();
}

intptr_t HostRuntime::RuntimeObject() const {
  auto* access = const_cast<ComponentAccess*>(&components_);
  return reinterpret_cast<intptr_t>(static_cast<qg::IComponentAccess*>(access));
}

ComponentAccess& HostRuntime::Components() { return components_; }

std::vector<HostCall> HostRuntime::Calls() const {
  std::lock_guard<std::mutex> l(mu_);
  return calls_;
}

std::vector<int32_t> HostRuntime::ItemsAsked() const {
  std::lock_guard<std::mutex> l(mu_);
  std::vector<int32_t> items;
  for (const HostCall& call : calls_) {
    if (call.nCode == qg::kHostItemQuery) items.push_back(static_cast<int32_t>(call.nArgument));
  }
  return items;
}

int HostRuntime::nAbsentItemsAsked() const {
  std::lock_guard<std::mutex> l(mu_);
  return absent_asked_;
}

void HostRuntime::ClearLog() {
  std::lock_guard<std::mutex> l(mu_);
  calls_.clear();
  absent_asked_ = 0;
  message_calls_ = 0;
  last_message_capacity_ = 0;
}

StringMemory& HostRuntime::Strings() { return strings_; }
InfoLocale& HostRuntime::Locale() { return locale_; }
InfoLocaleV4& HostRuntime::LocaleV4() { return locale_v4_; }
GlobalFactory& HostRuntime::Values() { return values_; }

qg::PFN_MessageText HostRuntime::MessageCallback() { return &MessageTextCallback; }

void HostRuntime::SetMessageMode(MessageMode mode, const std::u16string& text) {
  std::lock_guard<std::mutex> l(mu_);
  message_mode_ = mode;
  message_text_ = text;
}

int HostRuntime::nMessageCalls() const {
  std::lock_guard<std::mutex> l(mu_);
  return message_calls_;
}

int32_t HostRuntime::nLastMessageCapacity() const {
  std::lock_guard<std::mutex> l(mu_);
  return last_message_capacity_;
}

int32_t HostRuntime::MessageText(int32_t, char16_t* buffer, int32_t capacity) {
  std::lock_guard<std::mutex> l(mu_);
  ++message_calls_;
  last_message_capacity_ = capacity;
  std::u16string text;
  switch (message_mode_) {
    case MessageMode::kZero:
      return 0;
    case MessageMode::kText:
      text = message_text_;
      break;
    case MessageMode::kExactCapacity:
      if (capacity <= 1) return 0;
      text.assign(static_cast<size_t>(capacity - 1), u'x');
      break;
  }
  if (buffer != nullptr && capacity > 0) {
    size_t n = std::min(text.size(), static_cast<size_t>(capacity - 1));
    text.copy(buffer, n);
    buffer[n] = 0;
  }
  return static_cast<int32_t>(text.size());
}

void HostRuntime::CountCalc(int index) {
  std::lock_guard<std::mutex> l(mu_);
  if (index >= 0 && index < 30) ++calc_calls_[index];
}

int HostRuntime::nCalcCalls(int index) const {
  std::lock_guard<std::mutex> l(mu_);
  return index >= 0 && index < 30 ? calc_calls_[index] : 0;
}

void HostRuntime::CountConversion() {
  std::lock_guard<std::mutex> l(mu_);
  ++conversion_calls_;
}

int HostRuntime::nConversionCalls() const {
  std::lock_guard<std::mutex> l(mu_);
  return conversion_calls_;
}

void HostRuntime::Reset() {
  std::lock_guard<std::mutex> l(mu_);
  SetDefaultItems();
  calls_.clear();
  absent_asked_ = 0;
  message_mode_ = MessageMode::kZero;
  message_text_.clear();
  message_calls_ = 0;
  last_message_capacity_ = 0;
  std::fill(std::begin(calc_calls_), std::end(calc_calls_), 0);
  conversion_calls_ = 0;
  components_.Reset();
}

HostRuntime& Runtime() {
  static HostRuntime runtime;
  return runtime;
}

intptr_t HostExecution(int32_t code, intptr_t argument) {
  return Runtime().Execution(code, argument);
}

}  // namespace qghost
