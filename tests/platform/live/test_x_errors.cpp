// The X error handler lets a message to a window that has gone pass, and hands every
// other error on to the handler that was there before it.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xproto.h>

#include <utility>
#include <vector>

#include "platform/window/x11/XErrors.h"

namespace clavora {
namespace {

std::vector<std::pair<int, int>> g_passedOn;

int Recorder(Display*, XErrorEvent* error) {
    g_passedOn.emplace_back(error->error_code, error->request_code);
    return 7;
}

TEST(XErrors, OnlyAMessageToAGoneWindowIsIgnored) {
    XErrorHandler original = XSetErrorHandler(&Recorder);
    TolerateMessagesToGoneWindows();
    XErrorHandler installed = XSetErrorHandler(original);
    ASSERT_NE(installed, &Recorder);

    struct Case {
        int code, request;
        bool passedOn;
    };
    const Case cases[] = {
        {BadWindow, X_SendEvent, false},
        {BadWindow, X_ConfigureWindow, true},
        {BadWindow, X_DestroyWindow, true},
        {BadValue, X_SendEvent, true},
        {BadAlloc, X_CreateWindow, true},
    };
    for (const Case& c : cases) {
        g_passedOn.clear();
        XErrorEvent error{};
        error.type = 0;
        error.error_code = static_cast<unsigned char>(c.code);
        error.request_code = static_cast<unsigned char>(c.request);
        const int result = installed(nullptr, &error);
        SCOPED_TRACE(testing::Message() << "error " << c.code << " request " << c.request);
        if (c.passedOn) {
            EXPECT_EQ(result, 7);
            ASSERT_EQ(g_passedOn.size(), 1u);
            EXPECT_EQ(g_passedOn[0], std::make_pair(c.code, c.request));
        } else {
            EXPECT_EQ(result, 0);
            EXPECT_TRUE(g_passedOn.empty());
        }
    }
}

}  // namespace
}  // namespace clavora
