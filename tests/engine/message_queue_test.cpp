// The engine thread's message queue and wake events.
#include "platform/message_queue.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

namespace tunekiln {
namespace {

struct Note {
  std::uint32_t number = 0;
  std::unique_ptr<std::string> text;  // owned data, as a message's payload
};

TEST(MessageQueue, KeepsTheOrderOfEachSenderAndSaysWhichNumbersWait) {
  MessageQueue<Note> queue;
  EXPECT_FALSE(queue.take());
  EXPECT_FALSE(queue.waiting(1));

  constexpr std::uint32_t kPerSender = 2000;
  std::thread first([&] {
    for (std::uint32_t i = 0; i < kPerSender; ++i) queue.post({1, std::make_unique<std::string>(std::to_string(i))});
  });
  std::thread second([&] {
    for (std::uint32_t i = 0; i < kPerSender; ++i) queue.post({2, std::make_unique<std::string>(std::to_string(i))});
  });
  std::uint32_t nextOf[3] = {0, 0, 0};
  for (std::uint32_t taken = 0; taken < 2 * kPerSender; ++taken) {
    const Note note = queue.waitAndTake();
    ASSERT_EQ(*note.text, std::to_string(nextOf[note.number]));
    ++nextOf[note.number];
  }
  first.join();
  second.join();

  queue.post({5, nullptr});
  queue.post({6, std::make_unique<std::string>("left behind")});  // freed with the queue
  EXPECT_TRUE(queue.waiting(6));
  EXPECT_FALSE(queue.waiting(7));
  EXPECT_EQ(queue.take()->number, 5u);
}

TEST(MessageQueue, WaitEndsForTheEventForAMessageOrAtTheLimit) {
  MessageQueue<Note> queue;
  WakeEvent event;
  EXPECT_EQ(queue.waitForMessageOr(event, std::chrono::milliseconds(0)), WaitResult::timeLimit);

  std::thread signaller([&] { event.signal(); });
  EXPECT_EQ(queue.waitForMessageOr(event, std::chrono::hours(1)), WaitResult::wakeEvent);
  signaller.join();
  EXPECT_FALSE(event.consume()) << "the waiter resets the event";

  std::thread poster([&] { queue.post({9, nullptr}); });
  EXPECT_EQ(queue.waitForMessageOr(event, std::chrono::hours(1)), WaitResult::message);
  poster.join();
  EXPECT_EQ(queue.waitForMessageOr(event, std::chrono::hours(1)), WaitResult::message) << "it is still queued";

  event.signal();
  EXPECT_EQ(queue.waitForMessageOr(event, std::chrono::hours(1)), WaitResult::wakeEvent) << "the event comes first";
  queue.waitForMessage();
  EXPECT_EQ(queue.take()->number, 9u);
}

TEST(WakeEvent, SeveralSignalsBeforeTheWaiterLooksCountAsOne) {
  WakeEvent event;
  event.signal();
  event.signal();
  EXPECT_TRUE(event.waitFor(std::chrono::hours(1)));
  EXPECT_FALSE(event.consume());
  EXPECT_FALSE(event.waitFor(std::chrono::milliseconds(0)));

  std::thread signaller([&] { event.signal(); });
  EXPECT_TRUE(event.waitFor(std::chrono::hours(1)));
  signaller.join();
}

}  // namespace
}  // namespace tunekiln
