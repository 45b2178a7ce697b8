// The app.call bridge end to end: page script in a real web process, the extension, the
// UI process's handler and a host window answering through the responder.
#include <gtest/gtest.h>

#include <thread>

#include "BrowserTestKit.h"
#include "platform/Messages.h"

namespace {

// Helpers every page has; `record(tag)` makes a callback that keeps what it receives.
constexpr char kHelpers[] = R"(<script>
window.results = [];
window.record = function (tag, answer) {
  return function (code, text) { results.push([tag, code, text, typeof code, arguments.length]); return answer; };
};
</script>)";

std::map<std::string, std::string> Pages() {
  return {
      {"/plain.html", std::string("<!doctype html><html><body>") + kHelpers + "plain</body></html>"},
      // Calls the bridge while the document is still being parsed.
      {"/early.html", std::string("<!doctype html><html><body>") + kHelpers +
                          "<script>window.earlyType = typeof app.call;"
                          "app.call('getVidAndPlayAuth', record('early', true));</script></body></html>"},
  };
}

class BridgeTest : public BrowserTest {
 protected:
  std::string Results(WebKitWebView* view) { return Evaluate(view, "JSON.stringify(results)"); }
  // Waits until the page's results read `expected` (a JSON text of the array).
  bool WaitForResults(WebKitWebView* view, const std::string& expected) {
    const std::string quoted = Evaluate(view, "JSON.stringify(" + expected + ")");
    return WaitFor([&] { return Results(view) == quoted; }, 10000);
  }
};

TEST_F(BridgeTest, CallWithoutParameterReachesHostAndAnswerReachesCallback) {
  PageServer server(Pages());
  TestBrowserWindow window;
  ASSERT_TRUE(window.Start());
  ASSERT_TRUE(window.Load(server.Url("/early.html")));
  ASSERT_TRUE(window.WaitForCalls(1));

  EXPECT_EQ(Evaluate(window.View(), "earlyType"), "\"function\"");
  EXPECT_EQ(window.m_calls[0].message, WM_USER + 500u);
  EXPECT_EQ(window.m_calls[0].params, L"{}");

  window.m_calls[0].responder(200, L"x");
  EXPECT_TRUE(WaitForResults(window.View(), R"([["early","200","x","string",2]])")) << Results(window.View());
}

TEST_F(BridgeTest, ParameterShapesDecideWhatIsSent) {
  PageServer server(Pages());
  TestBrowserWindow window;
  CallCppFuncCounter sent;
  ASSERT_TRUE(window.Start());
  ASSERT_TRUE(window.Load(server.Url("/plain.html")));

  // Refused calls send nothing and do not stop the script; the last call marks the end.
  Evaluate(window.View(), R"(
    app.call('setPlayCurrentTime', '{"time":12.5,"vid":"视频 \\"q\\""}', record('json'));
    app.call('pauseVideo', {time: 1}, record('object'));
    app.call('pauseVideo', '{}');
    app.call('pauseVideo', '{}', 'not a function');
    app.call(42, record('number name'));
    app.call();
    app.call('mouseMove', '', record('empty text'));
    window.finished = true;)");
  ASSERT_TRUE(window.WaitForCalls(2));
  Spin(300);

  ASSERT_EQ(window.m_calls.size(), 2u);
  EXPECT_EQ(window.m_calls[0].message, WM_USER + 503u);
  EXPECT_EQ(window.m_calls[0].params, L"{\"time\":12.5,\"vid\":\"视频 \\\"q\\\"\"}");
  EXPECT_EQ(window.m_calls[1].message, WM_USER + 511u);
  EXPECT_EQ(window.m_calls[1].params, L"");
  EXPECT_EQ(sent.Count("pauseVideo"), 0);
  EXPECT_EQ(Evaluate(window.View(), "window.finished"), "true");
  EXPECT_NE(ReadDayLog("renderlog").find("]:CefJsHandler::Execute:Invalid arguments.\r\n"),
            std::string::npos);
}

TEST_F(BridgeTest, UnknownNameIsSentButNeverAnswered) {
  PageServer server(Pages());
  TestBrowserWindow window;
  CallCppFuncCounter sent;
  ASSERT_TRUE(window.Start());
  ASSERT_TRUE(window.Load(server.Url("/plain.html")));

  Evaluate(window.View(),
           "app.call('getvidandplayauth', record('wrong case')); app.call('mouseEnter', record('known'));");
  ASSERT_TRUE(window.WaitForCalls(1));
  Spin(300);

  EXPECT_EQ(sent.Count("getvidandplayauth"), 1);
  ASSERT_EQ(window.m_calls.size(), 1u);
  EXPECT_EQ(window.m_calls[0].message, WM_USER + 501u);
  window.m_calls[0].responder(200, L"ok");
  EXPECT_TRUE(WaitForResults(window.View(), R"([["known","200","ok","string",2]])"))
      << Results(window.View());
}

TEST_F(BridgeTest, SecondCallOfTheSameNameIsAnsweredToTheFirstCallback) {
  PageServer server(Pages());
  TestBrowserWindow window;
  ASSERT_TRUE(window.Start());
  ASSERT_TRUE(window.Load(server.Url("/plain.html")));

  Evaluate(window.View(),
           "app.call('playError', '{\"error_code\":1}', record('first'));"
           "app.call('playError', '{\"error_code\":2}', record('second'));");
  ASSERT_TRUE(window.WaitForCalls(2));
  EXPECT_EQ(window.m_calls[1].params, L"{\"error_code\":2}");

  window.m_calls[1].responder(200, L"to the second call");
  EXPECT_TRUE(WaitForResults(window.View(), R"([["first","200","to the second call","string",2]])"))
      << Results(window.View());
}

TEST_F(BridgeTest, EveryResponderCallGivesOneCallback) {
  PageServer server(Pages());
  TestBrowserWindow window;
  ASSERT_TRUE(window.Start());
  ASSERT_TRUE(window.Load(server.Url("/plain.html")));

  Evaluate(window.View(), "app.call('playVideoStart', record('twice'));");
  ASSERT_TRUE(window.WaitForCalls(1));
  JsResponder responder = window.m_calls[0].responder;
  responder(200, L"a");
  // From a worker thread too; texts reach the page unchanged, quotes, line breaks and all.
  std::thread([responder] { responder(-1, L"中\"文'\n\\"); }).join();
  EXPECT_TRUE(WaitForResults(window.View(),
                             R"([["twice","200","a","string",2],["twice","-1","中\"文'\n\\","string",2]])"))
      << Results(window.View());
}

TEST_F(BridgeTest, TheSamePageInTwoWindowsReachesEachWindow) {
  PageServer server(Pages());
  TestBrowserWindow first;
  TestBrowserWindow second;
  ASSERT_TRUE(first.Start());
  ASSERT_TRUE(second.Start());
  EXPECT_NE(first.m_createdId, second.m_createdId);
  ASSERT_TRUE(first.Load(server.Url("/early.html")));
  ASSERT_TRUE(second.Load(server.Url("/early.html")));
  ASSERT_TRUE(first.WaitForCalls(1));
  ASSERT_TRUE(second.WaitForCalls(1));
  EXPECT_EQ(first.m_calls[0].message, WM_USER + 500u);
  EXPECT_EQ(second.m_calls[0].message, WM_USER + 500u);

  second.m_calls[0].responder(200, L"second");
  first.m_calls[0].responder(200, L"first");
  EXPECT_TRUE(WaitForResults(first.View(), R"([["early","200","first","string",2]])"))
      << Results(first.View());
  EXPECT_TRUE(WaitForResults(second.View(), R"([["early","200","second","string",2]])"))
      << Results(second.View());
}

TEST_F(BridgeTest, AReloadedPageIsAnsweredAgain) {
  PageServer server(Pages());
  TestBrowserWindow window;
  ASSERT_TRUE(window.Start());
  ASSERT_TRUE(window.Load(server.Url("/early.html")));
  ASSERT_TRUE(window.WaitForCalls(1));
  ASSERT_TRUE(window.Load(server.Url("/early.html")));
  ASSERT_TRUE(window.WaitForCalls(2));

  window.m_calls[1].responder(200, L"new page");
  EXPECT_TRUE(WaitForResults(window.View(), R"([["early","200","new page","string",2]])"))
      << Results(window.View());
}

TEST_F(BridgeTest, MalformedAnswersAreLoggedAndDropped) {
  PageServer server(Pages());
  TestBrowserWindow window;
  ASSERT_TRUE(window.Start());
  ASSERT_TRUE(window.Load(server.Url("/plain.html")));
  Evaluate(window.View(), "app.call('mouseEnter', record('m'));");
  ASSERT_TRUE(window.WaitForCalls(1));

  // Wrong parameter types, no parameters, an unknown message: none reaches the callback.
  auto send = [&](const char* name, GVariant* params) {
    webkit_web_view_send_message_to_page(window.View(), webkit_user_message_new(name, params), nullptr,
                                         nullptr, nullptr);
  };
  send("JsCallBack", g_variant_new("(ss)", "mouseEnter", "200"));
  send("JsCallBack", nullptr);
  send("JsCallBack", g_variant_new("(sis)", "noSuchName", 200, "x"));
  send("SomethingElse", g_variant_new("(sis)", "mouseEnter", 200, "x"));
  window.m_calls[0].responder(200, L"after");
  EXPECT_TRUE(WaitForResults(window.View(), R"([["m","200","after","string",2]])")) << Results(window.View());
  EXPECT_NE(ReadDayLog("renderlog").find("]:CefAppRender::OnProcessMessageReceived malformed JsCallBack"),
            std::string::npos);
}

TEST_F(BridgeTest, RendererLogHasTheBridgeLines) {
  PageServer server(Pages());
  TestBrowserWindow window;
  ASSERT_TRUE(window.Start());
  ASSERT_TRUE(window.Load(server.Url("/early.html")));
  ASSERT_TRUE(window.WaitForCalls(1));
  Evaluate(window.View(), "app.call('mouseLeave', record('text', 'said so'));");
  ASSERT_TRUE(window.WaitForCalls(2));
  window.m_calls[0].responder(200, L"x");
  window.m_calls[1].responder(200, L"y");
  ASSERT_TRUE(WaitFor([&] { return Evaluate(window.View(), "results.length") == "2"; }));

  std::string log;
  ASSERT_TRUE(WaitFor([&] {
    log = ReadDayLog("renderlog");
    return log.find("]:said so\r\n") != std::string::npos;
  })) << log;
  for (const char* line :
       {"[normal][", "]:*************RenderProcess create*************\r\n",
        "]:CefJsHandler::Execute:call\r\n", "]:CefAppRender::OnProcessMessageReceived enter:JsCallBack\r\n",
        "]:***************\r\n", "]:1\r\n"}) {
    EXPECT_NE(log.find(line), std::string::npos) << line;
  }
  EXPECT_NE(ReadDayLog("browserlog").find("]:CallCppFunc getVidAndPlayAuth enter\r\n"), std::string::npos);
}

}  // namespace
