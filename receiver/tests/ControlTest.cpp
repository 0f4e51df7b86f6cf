#include <gtest/gtest.h>

#include "receiver/Commands.h"
#include "receiver/ControlHandler.h"
#include "receiver/VersionCheck.h"

namespace receiver {
namespace {

ControlMessage Login(int32_t code) {
    ControlMessage message;
    message.type = MSG_LOGIN;
    message.SetPayloadInt(0, code);
    message.SetPayloadText(12, "laptop");
    return message;
}

ControlMessage Version(const std::string& text) {
    ControlMessage message;
    message.type = MSG_VERSION;
    auto block = EncryptVersionText(text);
    std::copy(block->begin(), block->end(), message.payload.begin());
    return message;
}

ControlMessage Plain(int32_t type) {
    ControlMessage message;
    message.type = type;
    return message;
}

// The one message an event sends to connection id.
int32_t Reply(const ControlActions& actions, int id) {
    int32_t type = -1;
    int count = 0;
    for (const auto& send : actions.sends) {
        if (send.connection == id) {
            type = send.message.type;
            ++count;
        }
    }
    return count == 1 ? type : -100 - count;
}

TEST(ControlMessage, EncodesLittleEndianAndReadsBack) {
    ControlMessage message;
    message.type = SERVER_VERSION_OK;
    message.SetPayloadText(0, "1024x768x16");
    auto bytes = message.Encode();
    EXPECT_EQ(bytes[0], 6);
    EXPECT_EQ(bytes[1] | bytes[2] | bytes[3], 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[4])), "1024x768x16");
    ControlMessage back = ControlMessage::Decode(bytes.data());
    EXPECT_EQ(back.type, SERVER_VERSION_OK);
    EXPECT_EQ(back.PayloadText(0, 124), "1024x768x16");
    // A 112-byte name without terminator is read to the end of its field.
    ControlMessage login = Login(4321);
    login.SetPayloadText(12, std::string(130, 'n'));
    EXPECT_EQ(LoginRequest::From(login).computer_name, std::string(112, 'n'));
    EXPECT_EQ(LoginRequest::From(login).code, 4321);
}

TEST(ControlMessage, ModeTextsAreStrict) {
    EXPECT_EQ(ParseModeText("800x600x24"), (ReceiverMode{800, 600, 24}));
    EXPECT_EQ((ReceiverMode{1024, 768, 16}).Text(), "1024x768x16");
    for (const char* bad : {"1024x768", "0x768x16", "1024x768x8", "axbxc", "1024x768x16x", "",
                            "x1024x768x16", "4097x768x16", "1024 x768x16", "-1x768x16"}) {
        EXPECT_FALSE(ParseModeText(bad)) << bad;
    }
}

TEST(VersionCheck, WireKeyRoundTripAndEightCharacterCompare) {
    auto block = EncryptVersionText("1.0.0-rc1");
    ASSERT_TRUE(block);
    auto text = DecryptVersionText(reinterpret_cast<const uint8_t*>(block->data()));
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, "1.0.0-rc");  // presenters send the first 8 characters only
    EXPECT_TRUE(VersionMatches(*text, "1.0.0-rc1"));
    EXPECT_TRUE(VersionMatches("1.0.0", "1.0.0"));
    EXPECT_FALSE(VersionMatches("1.0.0", "1.0.1"));
    EXPECT_FALSE(VersionMatches("1.0", "1.0.0"));
}

TEST(ControlHandler, VersionAnsweredWithTheModeTextOrRefused) {
    ReceiverSettings settings;
    settings.mode = ReceiverMode{800, 600, 24};
    settings.version_text = "1.0.0";
    ControlHandler handler(settings);
    handler.Connected(1, "127.0.0.1");
    ControlActions right = handler.Received(1, Version("1.0.0"));
    ASSERT_EQ(Reply(right, 1), SERVER_VERSION_OK);
    EXPECT_EQ(right.sends[0].message.PayloadText(0, 124), "800x600x24");
    EXPECT_EQ(Reply(handler.Received(1, Version("0.9.9")), 1), SERVER_VERSION_ERROR);

    ControlHandler any(ReceiverSettings{});
    any.Connected(2, "127.0.0.1");
    EXPECT_EQ(Reply(any.Received(2, Version("whatever")), 2), SERVER_VERSION_OK);
}

TEST(ControlHandler, CodeIsRequiredOnlyWhenSet) {
    ReceiverSettings settings;
    settings.code = 1234;
    ControlHandler handler(settings);
    handler.Connected(1, "127.0.0.1");
    EXPECT_EQ(Reply(handler.Received(1, Login(0)), 1), SERVER_CODE_ERROR);
    EXPECT_EQ(Reply(handler.Received(1, Plain(MSG_START_REQUEST)), 1), SERVER_START_REJECT);
    EXPECT_EQ(Reply(handler.Received(1, Login(1235)), 1), SERVER_CODE_ERROR);
    EXPECT_EQ(Reply(handler.Received(1, Login(1234)), 1), SERVER_CODE_OK);
    EXPECT_TRUE(handler.LoggedIn(1));

    ControlHandler open(ReceiverSettings{});
    open.Connected(1, "127.0.0.1");
    EXPECT_EQ(Reply(open.Received(1, Login(0)), 1), SERVER_CODE_OK);
}

TEST(ControlHandler, OnePresenterProjectsAtATime) {
    ControlHandler handler(ReceiverSettings{});
    handler.Connected(1, "10.0.0.1");
    handler.Connected(2, "10.0.0.2");
    handler.Received(1, Login(0));
    handler.Received(2, Login(0));

    ControlActions started = handler.Received(1, Plain(MSG_START_REQUEST));
    EXPECT_EQ(Reply(started, 1), SERVER_START);
    EXPECT_TRUE(started.projection_started);
    EXPECT_EQ(Reply(handler.Received(2, Plain(MSG_START_REQUEST)), 2), SERVER_START_REJECT);
    EXPECT_EQ(handler.Projecting(), 1);

    // The picture size counts only from the projecting presenter.
    ControlMessage size = Plain(MSG_PICTURE_SIZE);
    size.SetPayloadInt(0, 800);
    size.SetPayloadInt(4, 600);
    handler.Received(2, size);
    EXPECT_EQ(handler.CurrentStart().announced_width, 0);
    handler.Received(1, size);
    EXPECT_EQ(handler.CurrentStart().announced_width, 800);
    EXPECT_EQ(handler.CurrentStart().announced_height, 600);

    // Keep-alives and screen changes need no answer.
    EXPECT_TRUE(handler.Received(1, Plain(MSG_KEEP_ALIVE)).sends.empty());
    EXPECT_TRUE(handler.Received(1, Plain(MSG_SCREEN_CHANGED)).sends.empty());
    EXPECT_TRUE(handler.Received(1, Plain(77)).sends.empty());

    ControlActions stopped = handler.Received(1, Plain(MSG_STOP_REQUEST));
    EXPECT_TRUE(stopped.sends.empty());
    EXPECT_TRUE(stopped.projection_stopped);
    EXPECT_EQ(Reply(handler.Received(2, Plain(MSG_START_REQUEST)), 2), SERVER_START);
    // A new start forgets the previous announcement.
    EXPECT_EQ(handler.CurrentStart().announced_width, 0);
    // The projecting presenter leaving ends the projection.
    EXPECT_TRUE(handler.Disconnected(2).projection_stopped);
    EXPECT_FALSE(handler.Projecting());
}

TEST(ControlHandler, RejectRefusesEveryStart) {
    ReceiverSettings settings;
    settings.reject = true;
    ControlHandler handler(settings);
    handler.Connected(1, "127.0.0.1");
    handler.Received(1, Login(0));
    EXPECT_EQ(Reply(handler.Received(1, Plain(MSG_START_REQUEST)), 1), SERVER_START_REJECT);
    EXPECT_FALSE(handler.Projecting());
}

TEST(ControlHandler, OperatorCommands) {
    ControlHandler handler(ReceiverSettings{});
    EXPECT_TRUE(handler.Stop().sends.empty());
    EXPECT_TRUE(handler.Start().sends.empty());
    handler.Connected(1, "10.0.0.1");
    handler.Connected(2, "10.0.0.2");
    handler.Connected(3, "10.0.0.3");  // never logs in
    handler.Received(1, Login(0));
    handler.Received(2, Login(0));

    // start goes to the presenter that logged in last.
    ControlActions started = handler.Start();
    EXPECT_EQ(Reply(started, 2), SERVER_START);
    EXPECT_EQ(handler.Projecting(), 2);

    ControlActions mode = handler.ChangeMode(ReceiverMode{800, 600, 32});
    ASSERT_EQ(mode.sends.size(), 2u);
    for (const auto& send : mode.sends) {
        EXPECT_NE(send.connection, 3);
        EXPECT_EQ(send.message.type, SERVER_CHANGE_RESOLUTION);
        EXPECT_EQ(send.message.PayloadText(0, 124), "800x600x32");
    }
    EXPECT_EQ(handler.Settings().mode, (ReceiverMode{800, 600, 32}));
    // The running projection keeps the mode it started with.
    EXPECT_EQ(handler.CurrentStart().mode, (ReceiverMode{1024, 768, 16}));

    ControlActions stopped = handler.Stop();
    EXPECT_EQ(Reply(stopped, 2), SERVER_STOP);
    EXPECT_TRUE(stopped.projection_stopped);
    EXPECT_FALSE(handler.Projecting());
    handler.Start();
    EXPECT_EQ(handler.CurrentStart().mode, (ReceiverMode{800, 600, 32}));
}

TEST(Commands, ParsesEachCommandAndRefusesTheRest) {
    EXPECT_EQ(ParseCommand("stop").kind, Command::kStop);
    EXPECT_EQ(ParseCommand("  start \r").kind, Command::kStart);
    EXPECT_EQ(ParseCommand("quit").kind, Command::kQuit);
    EXPECT_EQ(ParseCommand("").kind, Command::kNone);
    Command mode = ParseCommand("mode 800x600x24");
    EXPECT_EQ(mode.kind, Command::kMode);
    EXPECT_EQ(mode.mode, (ReceiverMode{800, 600, 24}));
    Command snapshot = ParseCommand("snapshot /tmp/a b.png");
    EXPECT_EQ(snapshot.kind, Command::kSnapshot);
    EXPECT_EQ(snapshot.file, "/tmp/a b.png");
    for (const char* bad : {"mode 800x600", "snapshot", "stop now", "jump"}) {
        Command command = ParseCommand(bad);
        EXPECT_EQ(command.kind, Command::kInvalid) << bad;
        EXPECT_FALSE(command.error.empty());
    }
}

}  // namespace
}  // namespace receiver
