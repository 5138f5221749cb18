// libFuzzer target: arbitrary bytes played as a server's response (status line, headers,
// framings) into THttpClient::Get with an in-memory target; the first byte picks how many
// bytes each receive call returns. The same bytes are also fetched as a URL, so URL parsing
// and request preparation see them too. Every failure must be one of the client's exceptions.
#include <cstddef>
#include <cstdint>
#include <string>

#include "http/HttpClient.h"
#include "tests/http/FakeSocketStack.h"

namespace {

// An in-memory target whose writes stop at a limit, as on a full disk, so a body read until
// the close can't exhaust the fuzzer's memory. Sizing it up front for a huge announced length
// holds nothing, so those lengths are read as the client reads them.
class BoundedMemoryStream : public varnel::TMemoryStream {
 public:
  int64_t Write(const void* buffer, int64_t count) override {
    if (Position() + count > kLimit) return 0;
    return TMemoryStream::Write(buffer, count);
  }

 private:
  static constexpr int64_t kLimit = 16 << 20;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  size_t slice = 1 + data[0] % 64;
  if (data[0] >= 192) slice = 1 << 20;
  std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  varnel::test::FakeSocketStack stack(bytes, slice);
  BoundedMemoryStream target;
  try {
    varnel::THttpClient client(stack);
    client.Get("http://h/f", target);
  } catch (const varnel::Exception&) {
  }
  varnel::test::FakeSocketStack plain("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
  try {
    varnel::THttpClient client(plain);
    client.Get(bytes, target);
  } catch (const varnel::Exception&) {
  }
  return 0;
}
