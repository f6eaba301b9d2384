// Byte sink and source for the serialised forms of CAny (CAny::bEcritCourt,
// bLitCourt, bEcritBalise, bLitBalise). Any buffer that can append bytes,
// patch bytes already written, and read with bounds can carry the forms.
// Multi-byte numbers are little-endian.
#ifndef QG_SUPPORT_ANY_SERIAL_H_
#define QG_SUPPORT_ANY_SERIAL_H_

#include <cstddef>
#include <cstdint>
#include <vector>

class CAny;

namespace qg {

class IByteSink {
 public:
  virtual ~IByteSink() = default;
  // Appends n bytes; false when the sink cannot take them.
  virtual bool bEcrit(const void* data, size_t n) = 0;
  // Bytes written so far.
  virtual size_t nPosition() const = 0;
  // Overwrites n bytes already written at `position`.
  virtual bool bReecrit(size_t position, const void* data, size_t n) = 0;
};

class IByteSource {
 public:
  virtual ~IByteSource() = default;
  // Reads exactly n bytes; false (nothing consumed) when fewer remain.
  virtual bool bLit(void* data, size_t n) = 0;
  virtual size_t nRestant() const = 0;
};

// A sink over a growable vector.
class CByteVectorSink final : public IByteSink {
 public:
  bool bEcrit(const void* data, size_t n) override;
  size_t nPosition() const override { return m_aby.size(); }
  bool bReecrit(size_t position, const void* data, size_t n) override;
  const std::vector<uint8_t>& Octets() const { return m_aby; }

 private:
  std::vector<uint8_t> m_aby;
};

// A source over bytes owned elsewhere.
class CByteSpanSource final : public IByteSource {
 public:
  CByteSpanSource(const void* data, size_t size)
      : m_p(static_cast<const uint8_t*>(data)), m_n(size) {}
  explicit CByteSpanSource(const std::vector<uint8_t>& bytes)
      : CByteSpanSource(bytes.data(), bytes.size()) {}
  bool bLit(void* data, size_t n) override;
  size_t nRestant() const override { return m_n - m_pos; }

 private:
  const uint8_t* m_p;
  size_t m_n;
  size_t m_pos = 0;
};

// Marker and version of the tagged form.
constexpr uint16_t kAnyTagMarker = 0x8001;
constexpr uint16_t kAnyTagVersion = 4;

// True for the types whose value is a pointer or a reference: their
// serialised forms carry no value bytes, and reading gives an empty value.
bool bAnyTypeReference(int code);

// CAny::bLitCourt over the n bytes at `data`, read where they lie; *used is
// the record's length. False (value and *used untouched) when the record is
// cut short.
bool bLitCourtOctets(CAny& v, const void* data, size_t n, size_t* used);

}  // namespace qg

#endif  // QG_SUPPORT_ANY_SERIAL_H_
