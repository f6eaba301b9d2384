// Stand-in for the host's value-object service, host item 9 (test
// equipment): decimal objects, OBJET_MDPS objects and the error filler.
// Every object it hands out is counted, so a test can assert that each one
// came back exactly once; a release of an unknown object counts as a fault
// and touches nothing.
#ifndef QG_HOST_CORE_GLOBAL_FACTORY_H_
#define QG_HOST_CORE_GLOBAL_FACTORY_H_

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <vector>

#include "support/frame/host_services.h"

namespace qghost {

class GlobalFactory;

class Decimal final : public qg::IDecimal {
 public:
  void vNegate() override;  // two's complement of the 128-bit mantissa
  intptr_t vOp1(intptr_t a) override;
  intptr_t vOp2(intptr_t a) override;
  intptr_t vOp3(intptr_t a) override;
  ~Decimal() = default;
};

class PasswordObject final : public qg::IPasswordObject {
 public:
  explicit PasswordObject(GlobalFactory* owner) : owner_(owner) {}
  int32_t AddRef() override;
  int32_t Release() override;  // deletes at 0
  intptr_t vOp2(intptr_t a) override;
  intptr_t vSetValue(intptr_t value) override;
  intptr_t nValue() const { return value_; }
  ~PasswordObject() = default;

 private:
  GlobalFactory* owner_;
  std::atomic<int32_t> count_{1};
  intptr_t value_ = 0;
};

// One call of operation 7.
struct FillErrorCall {
  CXError* error;
  int32_t message;
  intptr_t value1;
  intptr_t value2;
};

class GlobalFactory final : public qg::IGlobalFactory {
 public:
  GlobalFactory() = default;
  ~GlobalFactory();
  GlobalFactory(const GlobalFactory&) = delete;
  GlobalFactory& operator=(const GlobalFactory&) = delete;

  intptr_t vOp0(intptr_t a) override;
  intptr_t vOp1(intptr_t a) override;
  intptr_t vOp2(intptr_t a) override;
  intptr_t vOp3(intptr_t a) override;
  intptr_t vOp4(intptr_t a) override;
  intptr_t vOp5(intptr_t a) override;
  intptr_t vOp6(intptr_t a) override;
  void FillError(CXError* error, int32_t message, intptr_t value1, intptr_t value2) override;  // 7
  intptr_t vOp8(intptr_t a) override;
  intptr_t vOp9(intptr_t a) override;
  intptr_t vOp10(intptr_t a) override;
  intptr_t vOp11(intptr_t a) override;
  intptr_t vOp12(intptr_t a) override;
  void* pCreatePasswordObject() override;                            // 13
  intptr_t vOp14(intptr_t a) override;
  intptr_t vOp15(intptr_t a) override;
  intptr_t vOp16(intptr_t a) override;
  intptr_t vOp17(intptr_t a) override;
  intptr_t vOp18(intptr_t a) override;
  intptr_t vOp19(intptr_t a) override;
  intptr_t vOp20(intptr_t a) override;
  intptr_t vOp21(intptr_t a) override;
  qg::IDecimal* piCreateDecimal(intptr_t reserved) override;         // 22
  void ReleaseDecimal(qg::IDecimal* decimal) override;               // 23

  // Fault injection: the nth decimal creation from now on fails (null).
  void FailNthDecimal(int nth);

  // Operation 7 hands the call to this filler when one is set (the error
  // object's own code fills it); every call is logged either way.
  void SetErrorFiller(std::function<void(const FillErrorCall&)> filler);
  std::vector<FillErrorCall> FillErrorCalls() const;

  int nDecimalsCreated() const;
  int nDecimalsReleased() const;
  int nLiveDecimals() const;
  int nPasswordObjectsCreated() const;
  int nLivePasswordObjects() const;
  int nFaults() const;  // releases of unknown objects, placeholder calls
  // Clears counters, log, filler and armed failures; releases nothing.
  void ResetCounters();

 private:
  friend class PasswordObject;
  void PasswordReleased(PasswordObject* object);
  intptr_t Placeholder();

  mutable std::mutex mu_;
  std::set<qg::IDecimal*> live_decimals_;
  std::set<PasswordObject*> live_passwords_;
  int decimals_created_ = 0;
  int decimals_released_ = 0;
  int passwords_created_ = 0;
  int faults_ = 0;
  int fail_decimal_countdown_ = 0;
  std::function<void(const FillErrorCall&)> filler_;
  std::vector<FillErrorCall> fill_calls_;
};

}  // namespace qghost

#endif  // QG_HOST_CORE_GLOBAL_FACTORY_H_
