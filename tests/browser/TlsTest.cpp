// Certificates of HTTPS pages are verified: a certificate the system does not trust fails
// the load (error page, log line), unless it is issued by the extra CA of $TAVO_CA_FILE.
#include <gtest/gtest.h>
#include <httplib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "BrowserTestKit.h"
#include "support/ListenThread.h"
#include "app/TextConv.h"

namespace {

// A CA and a server certificate for 127.0.0.1 signed by it, made with the openssl tool.
bool MakeCertificates(const std::filesystem::path& dir) {
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "ext.cnf") << "subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\n";
  const std::string d = dir.string();
  const std::string script =
      "cd '" + d +
      "' && "
      "openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 -subj '/CN=Tavo Test CA' "
      "&& "
      "openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr -subj '/CN=127.0.0.1' && "
      "openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out server.pem -days 2 "
      "-extfile ext.cnf";
  return std::system((script + " >/dev/null 2>&1").c_str()) == 0;
}

using TlsTest = BrowserTest;

TEST_F(TlsTest, UntrustedCertificateFailsUnlessTheExtraCaIssuedIt) {
  const auto dir = Root() / "tls";
  ASSERT_TRUE(MakeCertificates(dir));
  httplib::SSLServer server((dir / "server.pem").c_str(), (dir / "server.key").c_str());
  ASSERT_TRUE(server.is_valid());
  server.set_keep_alive_max_count(1);
  server.Get("/secure.html", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("<!doctype html><html><body>secure page</body></html>", "text/html");
  });
  const int port = server.bind_to_any_port("127.0.0.1");
  ListenThread listening(server);
  const std::wstring url = L"https://127.0.0.1:" + std::to_wstring(port) + L"/secure.html";
  auto bodyText = [](WebKitWebView* view) {
    return Evaluate(view, "document.body ? document.body.innerText : ''");
  };

  unsetenv("TAVO_CA_FILE");
  {
    TestBrowserWindow window;
    ASSERT_TRUE(window.Start());
    window.Control().LoadURL(url);
    ASSERT_TRUE(WaitFor(
        [&] { return ReadDayLog("browserlog").find("]:TLS certificate refused") != std::string::npos; }));
    ASSERT_TRUE(WaitFor([&] { return bodyText(window.View()).size() > 2; }));
    EXPECT_EQ(bodyText(window.View()).find("secure page"), std::string::npos);
  }

  setenv("TAVO_CA_FILE", (dir / "ca.pem").c_str(), 1);
  {
    TestBrowserWindow window;
    ASSERT_TRUE(window.Start());
    window.Control().LoadURL(url);
    EXPECT_TRUE(WaitFor([&] { return bodyText(window.View()) == "\"secure page\""; }));
  }
  unsetenv("TAVO_CA_FILE");
}

}  // namespace
