// Stand-in of the host's external-execution entry points ("nZQEInitEx",
// "ZQETerm", "nZQEEmpile", "nZQEAppelle") with a call log, a configurable
// answer to the session open, and the session record as it was handed
// over. One instance per binary (External()).
#ifndef QG_HOST_CORE_EXTERNAL_EXECUTION_H_
#define QG_HOST_CORE_EXTERNAL_EXECUTION_H_

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "support/frame/test_runner_abi.h"

namespace qghost {

// Push kind of a UTF-16 text.
constexpr int32_t kPushText = 16;

class ExternalExecution {
 public:
  virtual ~ExternalExecution() = default;

  virtual int32_t InitEx(qg::ExternalSessionRecord* session, qg::ExternalOptionsRecord* options);
  virtual void Term(qg::ExternalSessionRecord* session);
  virtual int32_t Empile(qg::ExternalSessionRecord* session, const void* value, int32_t kind);
  virtual int32_t Appelle(qg::ExternalSessionRecord* session, int32_t family, int32_t function,
                          int32_t a, int32_t b);

  // --- control ---
  virtual void SetInitAnswer(int32_t answer);
  // One line per call: "init", "term", "push <value> <kind>",
  // "call <family> <function> <a> <b>", each with "own" when the session
  // is the one opened.
  virtual std::vector<std::string> Log() const;
  virtual void Reset();
  // What the open saw: the record's fields and the options.
  virtual qg::ExternalSessionRecord SeenSession() const;
  virtual std::u16string SeenName() const;
  virtual qg::ExternalOptionsRecord SeenOptions() const;
  virtual bool bOpen() const;
  // Runs after each call with the integers pushed since the previous one
  // (for host function 344, a click: the element, 65536, x, y); after the
  // clicker.
  virtual void SetOnCall(
      std::function<void(int32_t, int32_t, const std::vector<int32_t>&)> on_call);
  // What host function 344 of family 8 does with the located element
  // (pushed first: its window) and a point in it, pushed after 65536: true
  // when it clicked ("click <window> <x> <y>" is logged). The stand-in
  // runtime installs an XTest click when it loads; unset, nothing clicks.
  // A reset keeps it.
  virtual void SetClicker(std::function<bool(uint32_t, int32_t, int32_t)> clicker);

 private:
  mutable std::mutex mu_;
  int32_t init_answer_ = 0;
  std::vector<std::string> log_;
  std::vector<int32_t> pushed_;
  std::function<void(int32_t, int32_t, const std::vector<int32_t>&)> on_call_;
  std::function<bool(uint32_t, int32_t, int32_t)> clicker_;
  qg::ExternalSessionRecord* open_ = nullptr;
  qg::ExternalSessionRecord seen_;
  std::u16string seen_name_;
  qg::ExternalOptionsRecord seen_options_;
};

ExternalExecution& External();

}  // namespace qghost

#endif  // QG_HOST_CORE_EXTERNAL_EXECUTION_H_
