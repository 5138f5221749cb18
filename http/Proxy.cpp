#include "http/Proxy.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>

#include "http/HeaderList.h"
#include "http/NetExceptions.h"
#include "platform/Text.h"

namespace varnel {
namespace {

// curl's port for a proxy setting without one.
constexpr int kDefaultProxyPort = 1080;
// A proxy's answer to CONNECT gets no more header lines than a server's response.
constexpr int kMaxTunnelHeaderLines = 255;

std::string PercentDecoded(const std::string& text) {
  auto hex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && hex(text[i + 1]) && hex(text[i + 2])) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string Base64(const std::string& bytes) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t group = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
    if (i + 1 < bytes.size())
      group |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    if (i + 2 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 2]);
    for (size_t k = 0; k < 4; ++k) {
      out += i + k <= bytes.size() ? kDigits[(group >> (18 - 6 * k)) & 63] : '=';
    }
  }
  return out;
}

// "[http://][user[:password]@]host[:port][/...]".
TProxyServer ParseProxy(const std::string& setting, const std::string& protocol) {
  auto malformed = [&]() -> EProxyError {
    return EProxyError("The " + protocol + " proxy setting is not a proxy address.");
  };
  std::string rest = Trim(setting);
  if (size_t scheme = rest.find("://"); scheme != std::string::npos) {
    if (!SameText(rest.substr(0, scheme), "http")) {
      throw EProxyError("The " + protocol + " proxy's scheme \"" + rest.substr(0, scheme) +
                        "\" is not supported; only http proxies are.");
    }
    rest.erase(0, scheme + 3);
  }
  rest = rest.substr(0, rest.find('/'));
  TProxyServer proxy;
  if (size_t at = rest.rfind('@'); at != std::string::npos) {
    std::string user = rest.substr(0, at);
    size_t colon = user.find(':');
    proxy.Username = PercentDecoded(user.substr(0, colon));
    if (colon != std::string::npos) proxy.Password = PercentDecoded(user.substr(colon + 1));
    rest.erase(0, at + 1);
  }
  size_t hostEnd = rest.find(':');
  if (!rest.empty() && rest[0] == '[') {
    hostEnd = rest.find(']');
    if (hostEnd == std::string::npos) throw malformed();
    proxy.IPVersion = ipV6;
    proxy.Host = rest.substr(1, hostEnd - 1);
    rest.erase(0, hostEnd + 1);
  } else {
    proxy.Host = rest.substr(0, hostEnd);
    rest.erase(0, std::min(hostEnd, rest.size()));
  }
  proxy.Port = kDefaultProxyPort;
  if (!rest.empty()) {
    std::string port = rest.substr(1);
    if (rest[0] != ':' || port.empty() || port.size() > 5 ||
        port.find_first_not_of("0123456789") != std::string::npos) {
      throw malformed();
    }
    proxy.Port = std::stoi(port);
  }
  if (proxy.Host.empty() || proxy.Port < 1 || proxy.Port > 65535) throw malformed();
  return proxy;
}

bool IsIPAddress(const std::string& host) {
  return host.find(':') != std::string::npos ||
         host.find_first_not_of("0123456789.") == std::string::npos;
}

// Whether noProxy sends host direct: an address only by itself, a name also by the names
// under it.
bool GoesDirect(const std::string& noProxy, const std::string& host) {
  std::string name = AsciiLower(host);
  if (!name.empty() && name.back() == '.') name.pop_back();
  const bool address = IsIPAddress(name);
  for (size_t start = 0; start <= noProxy.size();) {
    size_t end = std::min(noProxy.find(',', start), noProxy.size());
    std::string entry = AsciiLower(Trim(noProxy.substr(start, end - start)));
    start = end + 1;
    if (entry == "*") return true;
    if (address) {
      if (entry.size() > 2 && entry.front() == '[' && entry.back() == ']') {
        entry = entry.substr(1, entry.size() - 2);
      }
      if (entry == name) return true;
      continue;
    }
    if (!entry.empty() && entry.front() == '.') entry.erase(0, 1);
    if (!entry.empty() && entry.back() == '.') entry.pop_back();
    if (entry.empty()) continue;
    if (name == entry || (name.size() > entry.size() && name.ends_with("." + entry))) return true;
  }
  return false;
}

}  // namespace

TProxyParams ProxyParamsFromEnvironment(const std::function<const char*(const char*)>& getEnv) {
  auto first = [&](std::initializer_list<const char*> names) {
    for (const char* name : names) {
      const char* value = getEnv(name);
      if (value && *value) return std::string(value);
    }
    return std::string();
  };
  TProxyParams params;
  params.HttpProxy = first({"http_proxy", "all_proxy", "ALL_PROXY"});
  params.HttpsProxy = first({"https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"});
  params.NoProxy = first({"no_proxy", "NO_PROXY"});
  return params;
}

TProxyParams ProxyParamsFromEnvironment() {
  return ProxyParamsFromEnvironment([](const char* name) { return std::getenv(name); });
}

TProxyServer SelectProxy(const TProxyParams& params, const std::string& protocol,
                         const std::string& host) {
  const std::string& setting = SameText(protocol, "https") ? params.HttpsProxy : params.HttpProxy;
  if (Trim(setting).empty() || GoesDirect(params.NoProxy, host)) return {};
  return ParseProxy(setting, protocol);
}

std::string ProxyAuthorization(const TProxyServer& proxy) {
  if (proxy.Username.empty()) return {};
  return "Basic " + Base64(proxy.Username + ":" + proxy.Password);
}

void OpenTunnel(TIOHandlerStack& io, const TProxyServer& proxy, const std::string& authority) {
  std::string head = "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n";
  if (std::string credentials = ProxyAuthorization(proxy); !credentials.empty()) {
    head += "Proxy-Authorization: " + credentials + "\r\n";
  }
  io.Write(head + "\r\n");
  const std::string status = io.ReadLn();
  int lines = 0;
  while (!io.ReadLn().empty()) {
    if (++lines > kMaxTunnelHeaderLines) {
      throw EProxyError("The proxy " + proxy.Host + " sent too many header lines.");
    }
  }
  size_t code = status.find(' ');
  if (code == std::string::npos || status.compare(0, 5, "HTTP/") != 0 ||
      status.compare(code + 1, 1, "2") != 0) {
    throw EProxyError("The proxy " + proxy.Host + " refused the tunnel to " + authority + ": " +
                      status);
  }
}

}  // namespace varnel
