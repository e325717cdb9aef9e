#include "net/fetch_page.h"

#include <gtest/gtest.h>

#include "http_server.h"
#include "raw_server.h"

using namespace mw;
using namespace mw::runtime;
using namespace mw::net;
using test::answer;
using test::HttpServer;
using test::RawServer;

namespace {
const std::string kAgent = "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)\r\n";

// The header lines of the last request, after its Host line.
std::string sentHeaders(const RawServer& s) {
  std::string r = s.lastRequest();
  std::size_t host = r.find("\r\nHost: ");
  return host == std::string::npos ? std::string() : r.substr(r.find("\r\n", host + 2) + 2);
}
}  // namespace

TEST(FetchPage, DefaultHeadersAreWrittenBackAndSent) {
  RawServer s(answer(test::response("HTTP/1.1 200 OK", "", "\x89PNG")));
  std::string url = s.url("/pic.png");
  Text headers;
  EXPECT_EQ(fetchPage(url, 0, {}, {.requestHeaders = &headers}), "\x89PNG");
  EXPECT_EQ(headers, "Accept: */*\r\nReferer: " + url +
                         "\r\nAccept-Language: zh-cn\r\nContent-Type: application/x-www-form-urlencoded");
  EXPECT_EQ(s.lastRequest(), "GET /pic.png HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(s.port()) + "\r\n" +
                                 kAgent + headers + "\r\n\r\n");

  // The searches are case-sensitive; a cookie line is appended whenever cookies are passed.
  headers = "accept: image/png\r\nCookie: x=0";
  Text cookies = "a=1";
  fetchPage(url, 0, {}, {.cookies = &cookies, .requestHeaders = &headers});
  EXPECT_EQ(
      headers,
      "accept: image/png\r\nCookie: x=0\r\nAccept: */*\r\nReferer: " + url +
          "\r\nAccept-Language: zh-cn\r\nContent-Type: application/x-www-form-urlencoded\r\nCookie: a=1");
  EXPECT_EQ(sentHeaders(s), kAgent + headers + "\r\n\r\n");

  // An empty cookie list adds no cookie line.
  headers.clear();
  cookies.clear();
  fetchPage(url, 0, {}, {.cookies = &cookies, .requestHeaders = &headers});
  EXPECT_EQ(headers.find("Cookie"), std::string::npos) << headers;
  EXPECT_EQ(s.lastRequest().find("Cookie"), std::string::npos) << s.lastRequest();

  // A caller's agent line is the one sent.
  headers = "User-Agent: PictureBot/2\r\nReferer: http://elsewhere/";
  fetchPage(url, 0, {}, {.requestHeaders = &headers});
  std::string sent = sentHeaders(s);
  EXPECT_TRUE(sent.starts_with("User-Agent: PictureBot/2\r\nReferer: http://elsewhere/\r\nAccept: */*\r\n"));
  EXPECT_EQ(sent.find("Mozilla"), std::string::npos);
}

TEST(FetchPage, VerbsAndBodies) {
  RawServer s(answer(test::response("HTTP/1.1 200 OK", "", "ok")));
  // Method 3 is no verb here: GET, which never carries a body.
  EXPECT_EQ(fetchPage(s.url("/a"), 3, "ignored"), "ok");
  EXPECT_TRUE(s.lastRequest().starts_with("GET /a HTTP/1.1\r\n"));
  EXPECT_TRUE(s.lastRequest().ends_with("\r\n\r\n"));

  Bytes postBytes;
  fetchPage(s.url("/a"), 1, "k=v", {.postBytes = &postBytes});
  EXPECT_TRUE(s.lastRequest().starts_with("POST /a HTTP/1.1\r\n"));
  EXPECT_TRUE(s.lastRequest().ends_with("\r\nContent-Length: 3\r\n\r\nk=v"));
  EXPECT_EQ(postBytes, "k=v");

  postBytes = std::string("\x00\x01raw", 5);
  fetchPage(s.url("/a"), 1, "k=v", {.postBytes = &postBytes});
  EXPECT_TRUE(s.lastRequest().ends_with(std::string("\r\n\r\n\x00\x01raw", 9)));

  EXPECT_EQ(fetchPage(s.url("/a"), 2), "");
  EXPECT_TRUE(s.lastRequest().starts_with("HEAD /a HTTP/1.1\r\n"));
}

// A HEAD carries postBytes (or else postData) with its length; its answer ends with the header
// block, so the announced length is not waited for.
TEST(FetchPage, HeadCarriesItsBody) {
  RawServer s([](const RawServer::Connection& c) {
    c.send("HTTP/1.1 200 OK\r\nSet-Cookie: h=1\r\nContent-Length: 50\r\n\r\n");
    c.wait(30000);
  });
  Text headers, fresh;
  Bytes postBytes;
  EXPECT_EQ(fetchPage(s.url("/h"), 2, "k=v",
                      {.newCookies = &fresh, .responseHeaders = &headers, .postBytes = &postBytes}),
            "");
  EXPECT_TRUE(s.lastRequest().starts_with("HEAD /h HTTP/1.1\r\n"));
  EXPECT_TRUE(s.lastRequest().ends_with("\r\nContent-Length: 3\r\n\r\nk=v"));
  EXPECT_EQ(postBytes, "k=v");
  EXPECT_EQ(headers, "HTTP/1.1 200 OK\r\nSet-Cookie: h=1\r\nContent-Length: 50\r\n\r\n");
  EXPECT_EQ(fresh, "h=1");

  postBytes = std::string("\x00raw", 4);
  fetchPage(s.url("/h"), 2, "ignored", {.postBytes = &postBytes});
  EXPECT_TRUE(s.lastRequest().ends_with(std::string("\r\nContent-Length: 4\r\n\r\n\x00raw", 27)));
}

TEST(FetchPage, HostPortAndPathFromTheAddressText) {
  RawServer s(answer(test::response("HTTP/1.1 200 OK", "", "ok")));
  std::string port = std::to_string(s.port());

  // The host goes lower-cased to the connection; the path keeps its case and query.
  EXPECT_EQ(fetchPage("HTTP://LOCALHOST:" + port + "/Pics/A.JPG?size=2"), "ok");
  EXPECT_TRUE(
      s.lastRequest().starts_with("GET /Pics/A.JPG?size=2 HTTP/1.1\r\nHost: localhost:" + port + "\r\n"));
  fetchPage("http://127.0.0.1:" + port);
  EXPECT_TRUE(s.lastRequest().starts_with("GET / HTTP/1.1\r\n"));
  fetchPage("127.0.0.1:" + port + "/bare");  // no scheme: taken as http
  EXPECT_TRUE(s.lastRequest().starts_with("GET /bare HTTP/1.1\r\n"));

  fetchPage("http://127.0.0.1:" + port + "/a b.jpg?k=1 2");
  EXPECT_TRUE(s.lastRequest().starts_with("GET /a%20b.jpg?k=1%202 HTTP/1.1\r\n"));

  int before = s.connections();
  EXPECT_EQ(fetchPage("http://127.0.0.1:" + port + "/a\r\nX-Injected: 1"), "");
  EXPECT_EQ(fetchPage("ftp://127.0.0.1:" + port + "/a"), "");
  EXPECT_EQ(fetchPage("file:///etc/passwd"), "");
  EXPECT_EQ(s.connections(), before);

  for (int p : {8080, 80}) {
    RawServer fixed(answer(test::response("HTTP/1.1 200 OK", "", "p")), p);
    ASSERT_TRUE(fixed.ok()) << "port " << p << " is taken";
    EXPECT_EQ(fetchPage(p == 80 ? "http://127.0.0.1/x" : "http://127.0.0.1:8080/x"), "p");
  }
  RawServer tls(answer(""), 443);
  ASSERT_TRUE(tls.ok());
  EXPECT_EQ(fetchPage("https://127.0.0.1/x"), "");
  EXPECT_EQ(tls.connections(), 1);
}

TEST(FetchPage, ResponseHeadersAndCookies) {
  RawServer s(answer(
      test::response("HTTP/1.1 404 Not Found", "set-cookie: a=1; path=/\r\nSet-COOKIE: b=2\r\n", "missing")));
  Text headers, fresh, cookies = "a=0; z=9";
  EXPECT_EQ(fetchPage(s.url("/"), 0, {}, {.newCookies = &fresh, .responseHeaders = &headers}), "missing");
  EXPECT_EQ(
      headers,
      "HTTP/1.1 404 Not Found\r\nSet-Cookie: a=1; path=/\r\nSet-Cookie: b=2\r\nContent-Length: 7\r\n\r\n");
  EXPECT_EQ(fresh, "a=1; b=2");
  fetchPage(s.url("/"), 0, {}, {.cookies = &cookies});
  EXPECT_EQ(cookies, "a=1; b=2; z=9");

  // A block of 5000 bytes or more does not fit: blanks instead, and so no cookies.
  RawServer big(answer(test::response(
      "HTTP/1.1 200 OK", "Set-Cookie: c=3\r\nX-Filler: " + std::string(5000, 'f') + "\r\n", "body")));
  fresh = "stale";
  EXPECT_EQ(fetchPage(big.url("/"), 0, {}, {.newCookies = &fresh, .responseHeaders = &headers}), "body");
  EXPECT_EQ(headers, std::string(5000, ' '));
  EXPECT_EQ(fresh, "");
}

TEST(FetchPage, RedirectsAndFailures) {
  HttpServer web([](httplib::Server& s) {
    s.Get("/old", [](const httplib::Request&, httplib::Response& res) {
      res.status = 302;
      res.set_header("Location", "/pic");
      res.set_content("moved", "text/plain");
    });
    s.Get("/pic",
          [](const httplib::Request&, httplib::Response& res) { res.set_content("GIF89a", "image/gif"); });
    s.Get("/file", [](const httplib::Request&, httplib::Response& res) {
      res.status = 302;
      res.set_header("Location", "file:///etc/passwd");
      res.set_content("moved", "text/plain");
    });
  });
  Text headers;
  EXPECT_EQ(fetchPage(web.url("/old"), 0, {}, {.responseHeaders = &headers}), "GIF89a");
  EXPECT_TRUE(headers.starts_with("HTTP/1.1 200 OK\r\n"));
  EXPECT_EQ(fetchPage(web.url("/old"), 0, {}, {.responseHeaders = &headers, .noRedirect = true}), "moved");
  EXPECT_TRUE(headers.starts_with("HTTP/1.1 302 Found\r\n"));
  EXPECT_EQ(fetchPage(web.url("/file")), "");

  int closedPort;
  {
    RawServer gone(answer(""));
    closedPort = gone.port();
  }
  EXPECT_EQ(
      fetchPage("http://127.0.0.1:" + std::to_string(closedPort) + "/", 0, {}, {.responseHeaders = &headers}),
      "");
  EXPECT_EQ(headers, std::string(5000, ' '));

  // A cut-off body gives what arrived.
  RawServer cut(answer("HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\n\xFF\xD8\xFF\xE0partial"));
  EXPECT_EQ(fetchPage(cut.url("/")), "\xFF\xD8\xFF\xE0partial");
  RawServer hugeBody(answer("HTTP/1.1 200 OK\r\nContent-Length: 80000000\r\n\r\nstart"));
  EXPECT_EQ(fetchPage(hugeBody.url("/")), "");
  RawServer endless([](const RawServer::Connection& c) {
    c.send("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
    const std::string mebibyte(1 << 20, 'x');
    for (int i = 0; i < 66 && !c.stopping; ++i) c.send(mebibyte);
  });
  EXPECT_EQ(fetchPage(endless.url("/")), "");
}

TEST(FetchPage, ThroughAProxy) {
  RawServer proxy(answer(test::response("HTTP/1.1 200 OK", "", "via proxy")));
  EXPECT_EQ(
      fetchPage("http://Pics.Example/a.gif", 0, {}, {.proxy = "127.0.0.1:" + std::to_string(proxy.port())}),
      "via proxy");
  EXPECT_TRUE(proxy.lastRequest().starts_with("GET http://pics.example/a.gif HTTP/1.1\r\n"))
      << proxy.lastRequest();
}
