#include "driver/core/dispatcher_calls.h"

#include <linux/membarrier.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <utility>

constinit thread_local CNACallRecord* CNACallRecord::t_pRecord = nullptr;
bool CNACallRecord::s_bAsymmetric = false;

namespace {

// Every thread's record, linked under the lock. Never destroyed: threads
// may end after the module's statics.
struct RecordList {
  std::mutex mutex;
  CNACallRecord* head = nullptr;
  bool bModeChosen = false;
};

RecordList& Records() {
  static RecordList* list = new RecordList();
  return *list;
}

bool bRegisterBarrier() {
  long commands = syscall(SYS_membarrier, MEMBARRIER_CMD_QUERY, 0, 0);
  if (commands < 0 || (commands & MEMBARRIER_CMD_PRIVATE_EXPEDITED) == 0 ||
      (commands & MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED) == 0) {
    return false;
  }
  return syscall(SYS_membarrier, MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED, 0, 0) == 0;
}

// Makes every running thread of the process pass a full barrier. A failure
// leaves the caller's sequentially consistent loads as the only order,
// which is not enough: it cannot happen once registration succeeded.
void ProcessBarrier() { syscall(SYS_membarrier, MEMBARRIER_CMD_PRIVATE_EXPEDITED, 0, 0); }

void Release(const NARetired& entry) {
  if (entry.pSession != nullptr) ReleaseBoth(entry.pSession);
  if (entry.pRegistry != nullptr) ReleaseBoth(entry.pRegistry);
}

}  // namespace

// Unlinks the thread's record when the thread ends and passes on what was
// handed to it.
class CNACallRecordOwner {
 public:
  ~CNACallRecordOwner() {
    CNACallRecord* record = m_pRecord;
    if (record == nullptr) return;
    RecordList& list = Records();
    {
      std::lock_guard<std::mutex> lock(list.mutex);
      if (record->m_pPrev != nullptr) {
        record->m_pPrev->m_pNext = record->m_pNext;
      } else {
        list.head = record->m_pNext;
      }
      if (record->m_pNext != nullptr) record->m_pNext->m_pPrev = record->m_pPrev;
    }
    // No other thread reaches the record now.
    CNACallRecord::t_pRecord = nullptr;
    std::vector<NARetired> handed = std::move(record->m_vecHanded);
    delete record;
    NAReleaseRetired(&handed);
  }
  CNACallRecord* m_pRecord = nullptr;
};

namespace {
thread_local CNACallRecordOwner t_clOwner;
thread_local bool t_bMade = false;
}  // namespace

CNACallRecord* CNACallRecord::pclMake() {
  // A thread ending: its record went with it; callers do without.
  if (t_bMade) return nullptr;
  t_bMade = true;
  auto* record = new CNACallRecord();
  RecordList& list = Records();
  {
    std::lock_guard<std::mutex> lock(list.mutex);
    if (!list.bModeChosen) {
      s_bAsymmetric = bRegisterBarrier();
      list.bModeChosen = true;
    }
    record->m_pNext = list.head;
    if (list.head != nullptr) list.head->m_pPrev = record;
    list.head = record;
  }
  t_clOwner.m_pRecord = record;
  t_pRecord = record;
  return record;
}

bool CNACallRecord::bIsIn(const CNARefCounted* object) const {
  for (const auto& in : m_apIn) {
    if (in.load(std::memory_order_seq_cst) == object) return true;
  }
  return false;
}

void CNACallRecord::PassOnHanded() {
  std::vector<NARetired> handed;
  {
    std::lock_guard<std::mutex> lock(m_muHanded);
    handed.swap(m_vecHanded);
    m_bHanded.store(false, std::memory_order_relaxed);
  }
  // Other levels of this thread, or other threads, may still be in them.
  NAReleaseRetired(&handed);
}

void NAReleaseRetired(std::vector<NARetired>* retired) {
  if (retired == nullptr || retired->empty()) return;
  std::vector<NARetired> free_now;
  RecordList& list = Records();
  {
    std::lock_guard<std::mutex> lock(list.mutex);
    // No record yet: no call has entered a session through a cache.
    if (list.head == nullptr) {
      free_now.swap(*retired);
    } else {
      // The cache no longer publishes these: a call that named one of them
      // before that is seen now, and one that names it later fails its
      // check of the cache.
      if (CNACallRecord::s_bAsymmetric) ProcessBarrier();
      std::vector<std::pair<CNACallRecord*, NARetired>> handed;
      for (const NARetired& entry : *retired) {
        CNACallRecord* in = nullptr;
        for (CNACallRecord* r = list.head; r != nullptr && in == nullptr; r = r->m_pNext) {
          if (entry.pSession != nullptr && r->bIsIn(entry.pSession)) in = r;
        }
        if (in == nullptr) {
          free_now.push_back(entry);
          continue;
        }
        {
          std::lock_guard<std::mutex> hand(in->m_muHanded);
          in->m_vecHanded.push_back(entry);
          in->m_bHanded.store(true, std::memory_order_seq_cst);
        }
        handed.emplace_back(in, entry);
      }
      retired->clear();
      if (!handed.empty()) {
        // A call that left its session before it could see the hand-over
        // is seen to have left now: take such entries back.
        if (CNACallRecord::s_bAsymmetric) ProcessBarrier();
        for (auto& [record, entry] : handed) {
          if (record->bIsIn(entry.pSession)) continue;
          std::lock_guard<std::mutex> hand(record->m_muHanded);
          auto& v = record->m_vecHanded;
          for (auto it = v.begin(); it != v.end(); ++it) {
            if (it->pSession == entry.pSession && it->pRegistry == entry.pRegistry) {
              free_now.push_back(*it);
              v.erase(it);
              break;
            }
          }
        }
      }
    }
  }
  // Outside the list lock: a release may delete a session.
  for (const NARetired& entry : free_now) Release(entry);
}
