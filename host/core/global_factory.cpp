#include "host/core/global_factory.h"

namespace qghost {

void Decimal::vNegate() {
  // Two's complement, least significant byte first.
  unsigned carry = 1;
  for (uint8_t& byte : m_stFields.abyMantissa) {
    unsigned v = static_cast<uint8_t>(~byte) + carry;
    byte = static_cast<uint8_t>(v);
    carry = v >> 8;
  }
}

intptr_t Decimal::vOp1(intptr_t) { return 0; }
intptr_t Decimal::vOp2(intptr_t) { return 0; }
intptr_t Decimal::vOp3(intptr_t) { return 0; }

int32_t PasswordObject::AddRef() { return count_.fetch_add(1) + 1; }

int32_t PasswordObject::Release() {
  int32_t left = count_.fetch_sub(1) - 1;
  if (left == 0) owner_->PasswordReleased(this);
  return left;
}

intptr_t PasswordObject::vOp2(intptr_t) { return 0; }

intptr_t PasswordObject::vSetValue(intptr_t value) {
  value_ = value;
  return 0;
}

GlobalFactory::~GlobalFactory() {
  for (qg::IDecimal* d : live_decimals_) delete static_cast<Decimal*>(d);
  for (PasswordObject* p : live_passwords_) delete p;
}

intptr_t GlobalFactory::Placeholder() {
  std::lock_guard<std::mutex> l(mu_);
  ++faults_;
  return 0;
}

intptr_t GlobalFactory::vOp0(intptr_t) { return Placeholder(); }
intptr_t GlobalFactory::vOp1(intptr_t) { return Placeholder(); }
intptr_t GlobalFactory::vOp2(intptr_t) { return Placeholder(); }
intptr_t GlobalFactory::vOp3(intptr_t) { return Placeholder(); }
intptr_t GlobalFactory::vOp4(intptr_t) { return Placeholder(); }
intptr_t GlobalFactory::vOp5(intptr_t) { return Placeholder(); }
intptr_t GlobalFactory::vOp6(intptr_t) { return Placeholder(); }
intptr_t GlobalFactory::vOp8(intptr_t) { return Placeholder(); }
intptr_t GlobalFactory::vOp9(intptr_t) { return Placeholder(); }
intptr_t GlobalFactory::vOp10(intptr_t) { return Placeholder(); }
intptr_t GlobalFactory::vOp11(intptr_t) { return Placeholder(); }
intptr_t GlobalFactory::vOp12(intptr_t) { return Placeholder(); }
intptr_t GlobalFactory::vOp14(intptr_t) { return Placeholder(); }
intptr_t GlobalFactory::vOp15(intptr_t) { return Placeholder(); }
intptr_t GlobalFactory::vOp16(intptr_t) { return Placeholder(); }
intptr_t GlobalFactory::vOp17(intptr_t) { return Placeholder(); }
intptr_t GlobalFactory::vOp18(intptr_t) { return Placeholder(); }
intptr_t GlobalFactory::vOp19(intptr_t) { return Placeholder(); }
intptr_t GlobalFactory::vOp20(intptr_t) { return Placeholder(); }
intptr_t GlobalFactory::vOp21(intptr_t) { return Placeholder(); }

void GlobalFactory::FillError(CXError* error, int32_t message, intptr_t value1, intptr_t value2) {
  FillErrorCall call{error, message, value1, value2};
  std::function<void(const FillErrorCall&)> filler;
  {
    std::lock_guard<std::mutex> l(mu_);
    fill_calls_.push_back(call);
    filler = filler_;
  }
  if (filler) filler(call);
}

void* GlobalFactory::pCreatePasswordObject() {
  auto* object = new PasswordObject(this);
  std::lock_guard<std::mutex> l(mu_);
  live_passwords_.insert(object);
  ++passwords_created_;
  return static_cast<qg::IPasswordObject*>(object);
}

void GlobalFactory::PasswordReleased(PasswordObject* object) {
  {
    std::lock_guard<std::mutex> l(mu_);
    if (live_passwords_.erase(object) == 0) {
      ++faults_;
      return;
    }
  }
  delete object;
}

qg::IDecimal* GlobalFactory::piCreateDecimal(intptr_t) {
  std::lock_guard<std::mutex> l(mu_);
  if (fail_decimal_countdown_ > 0 && --fail_decimal_countdown_ == 0) return nullptr;
  auto* decimal = new Decimal();
  live_decimals_.insert(decimal);
  ++decimals_created_;
  return decimal;
}

void GlobalFactory::ReleaseDecimal(qg::IDecimal* decimal) {
  {
    std::lock_guard<std::mutex> l(mu_);
    if (decimal == nullptr || live_decimals_.erase(decimal) == 0) {
      ++faults_;
      return;
    }
    ++decimals_released_;
  }
  delete static_cast<Decimal*>(decimal);
}

void GlobalFactory::FailNthDecimal(int nth) {
  std::lock_guard<std::mutex> l(mu_);
  fail_decimal_countdown_ = nth;
}

void GlobalFactory::SetErrorFiller(std::function<void(const FillErrorCall&)> filler) {
  std::lock_guard<std::mutex> l(mu_);
  filler_ = std::move(filler);
}

std::vector<FillErrorCall> GlobalFactory::FillErrorCalls() const {
  std::lock_guard<std::mutex> l(mu_);
  return fill_calls_;
}

int GlobalFactory::nDecimalsCreated() const {
  std::lock_guard<std::mutex> l(mu_);
  return decimals_created_;
}

int GlobalFactory::nDecimalsReleased() const {
  std::lock_guard<std::mutex> l(mu_);
  return decimals_released_;
}

int GlobalFactory::nLiveDecimals() const {
  std::lock_guard<std::mutex> l(mu_);
  return static_cast<int>(live_decimals_.size());
}

int GlobalFactory::nPasswordObjectsCreated() const {
  std::lock_guard<std::mutex> l(mu_);
  return passwords_created_;
}

int GlobalFactory::nLivePasswordObjects() const {
  std::lock_guard<std::mutex> l(mu_);
  return static_cast<int>(live_passwords_.size());
}

int GlobalFactory::nFaults() const {
  std::lock_guard<std::mutex> l(mu_);
  return faults_;
}

void GlobalFactory::ResetCounters() {
  std::lock_guard<std::mutex> l(mu_);
  decimals_created_ = decimals_released_ = passwords_created_ = faults_ = 0;
  fail_decimal_countdown_ = 0;
  filler_ = nullptr;
  fill_calls_.clear();
}

}  // namespace qghost
