#include "runtime/post_office.h"

#include "runtime/os.h"
#include "runtime/pools.h"
#include "tests/support/kernel_fixture.h"

#include <memory>
#include <vector>

namespace {

// One subscriber with its own flag group, as a task would have.
struct mail_user {
    TX_EVENT_FLAGS_GROUP group{};
    TX_THREAD* thread = nullptr;
    std::unique_ptr<subscriber> mail;
    mail_user(post_office& office, const uint32_t* codes) {
        os_event_flags_create(&group, "user");
        mail.reset(new subscriber(office, &group, 0x1, nullptr));
        mail->attach(codes);
    }
    std::vector<uint32_t> drain() {
        std::vector<uint32_t> codes;
        letter_s* l = nullptr;
        while (mail->receive(&l)) {
            codes.push_back(l->code());
            mail->release(l);
        }
        return codes;
    }
    bool flagged() {
        ULONG actual = 0;
        return tx_event_flags_get(&group, 0x1, TX_OR_CLEAR, &actual, TX_NO_WAIT) == TX_SUCCESS;
    }
};

class PostOffice : public test_support::KernelFixture {};

const uint32_t CODES_A[] = {5, 7, 0};
const uint32_t CODES_B[] = {7, 0};
const uint32_t CODES_C[] = {5, 0};

TEST_F(PostOffice, LettersReachEveryInterestedMailboxInSlotOrder) {
    post_office office;
    mail_user a(office, CODES_A), b(office, CODES_B), c(office, CODES_C);
    EXPECT_EQ(&*a.mail, office.slot(0));
    EXPECT_EQ(&*c.mail, office.slot(2));

    letter_s data_letter(7);
    data_letter.count = 1;
    data_letter.put_u16(0, 0xBEEF);
    office.dispatch(data_letter);
    office.post(5);
    office.post(9); // wanted by nobody: no effect

    EXPECT_TRUE(a.flagged());
    EXPECT_TRUE(b.flagged());
    EXPECT_TRUE(c.flagged());
    letter_s* first = nullptr;
    ASSERT_EQ(1, a.mail->receive(&first));
    EXPECT_EQ(7u, first->code());
    EXPECT_EQ(1, first->count);
    EXPECT_EQ(0xBEEF, first->get_u16(0));
    a.mail->release(first);
    EXPECT_EQ(std::vector<uint32_t>{5}, a.drain());
    EXPECT_EQ(std::vector<uint32_t>{7}, b.drain());
    EXPECT_EQ(std::vector<uint32_t>{5}, c.drain());
}

TEST_F(PostOffice, UrgentLetterOvertakesTheQueue) {
    post_office office;
    mail_user a(office, CODES_A);
    office.post(5);
    office.post(5);
    a.mail->deliver(letter_s(7), 1);
    EXPECT_EQ((std::vector<uint32_t>{7, 5, 5}), a.drain());
}

TEST_F(PostOffice, FullMailboxGrowsByOneLetterForGood) {
    post_office office;
    mail_user a(office, CODES_A);
    EXPECT_EQ(10u, a.mail->letters().total());
    for (int i = 0; i < 11; i++)
        office.post(5);
    EXPECT_EQ(11u, a.mail->letters().total());
    EXPECT_EQ(11u, a.mail->letters().queued());
    EXPECT_EQ(11u, a.drain().size());
    EXPECT_EQ(11u, a.mail->letters().free_letters());
    for (int i = 0; i < 11; i++)
        office.post(5);
    EXPECT_EQ(11u, a.mail->letters().total()); // the grown letter is reused
}

// A task that stopped reading (suspended) must not eat the memory: its
// mailbox stops growing at the limit and counts each letter it loses; an
// urgent request still gets in, in place of the newest queued letter.
TEST_F(PostOffice, AMailboxNobodyReadsStopsGrowingAndCountsWhatItDrops) {
    post_office office;
    mail_user a(office, CODES_A);
    const unsigned limit = mailbox::LETTER_LIMIT;
    for (unsigned i = 0; i < limit + 100; i++)
        office.post(5);
    EXPECT_EQ(limit, a.mail->letters().total());
    EXPECT_EQ(limit, a.mail->letters().queued());
    EXPECT_EQ(100u, a.mail->letters().dropped());
    EXPECT_TRUE(a.flagged());

    a.mail->deliver(letter_s(7), 1);
    EXPECT_EQ(101u, a.mail->letters().dropped());
    std::vector<uint32_t> codes = a.drain();
    ASSERT_EQ(limit, codes.size());
    EXPECT_EQ(7u, codes.front());
    EXPECT_EQ(limit, a.mail->letters().free_letters()); // every letter is reused
    office.post(5);
    EXPECT_EQ((std::vector<uint32_t>{5}), a.drain());
    EXPECT_EQ(limit, a.mail->letters().total());
}

TEST_F(PostOffice, SlotsAttachAndDetach) {
    post_office office;
    std::vector<std::unique_ptr<mail_user>> users;
    for (int i = 0; i < 10; i++)
        users.emplace_back(new mail_user(office, CODES_A));
    TX_EVENT_FLAGS_GROUP group{};
    subscriber eleventh(office, &group, 1, nullptr);
    EXPECT_EQ(0, eleventh.attach(CODES_A));
    EXPECT_EQ(0, office.add(nullptr));
    EXPECT_EQ(0, office.remove(&eleventh));

    EXPECT_EQ(0, users[3]->mail->attach(CODES_A)); // already attached
    EXPECT_EQ(1, users[3]->mail->detach());
    EXPECT_EQ(0, users[3]->mail->detach());
    EXPECT_EQ(0, users[3]->mail->wants(5));
    EXPECT_EQ(0, users[3]->mail->deliver(letter_s(5), 0));
    EXPECT_EQ(1, eleventh.attach(CODES_B)); // takes the freed slot
    EXPECT_EQ(&eleventh, office.slot(3));
    EXPECT_EQ(0, eleventh.attach(nullptr));
}

TEST_F(PostOffice, RequestsWithoutTakerOrReplyPointerAreRefused) {
    post_office office;
    mail_user a(office, CODES_A);
    letter_s request(9), reply;
    ULONG before = tx_time_get();
    EXPECT_EQ(0, office.send_and_wait(request, reply)); // no taker: at once
    EXPECT_EQ(before, tx_time_get());
    EXPECT_EQ(0, office.send_and_wait(request, request));
    EXPECT_EQ(0u, timer_scheduler_tx_rtos::instance()->size()); // the wake event went again

    office.post(5);
    letter_s* posted = nullptr;
    ASSERT_EQ(1, a.mail->receive(&posted));
    letter_s answer(6);
    EXPECT_EQ(0, office.reply(*posted, answer));
    a.mail->release(posted);
}

// A server thread that answers every request of code 20 with code 21 and
// the request's first data word plus one.
struct server_s {
    post_office* office;
    subscriber* mail;
    TX_EVENT_FLAGS_GROUP* group;
};
server_s g_server;

void server_entry(ULONG) {
    for (;;) {
        ULONG actual = 0;
        tx_event_flags_get(g_server.group, 0x1, TX_OR_CLEAR, &actual, TX_WAIT_FOREVER);
        letter_s* l = nullptr;
        while (g_server.mail->receive(&l)) {
            letter_s answer(21);
            answer.put_u32(0, l->get_u32(0) + 1);
            g_server.office->reply(*l, answer);
            g_server.mail->release(l);
        }
    }
}

TEST_F(PostOffice, SendAndWaitReturnsWhenTheReplyComesOneTickLater) {
    post_office office;
    static const uint32_t server_codes[] = {20, 0};
    TX_EVENT_FLAGS_GROUP group{};
    TX_THREAD thread{};
    os_event_flags_create(&group, "server");
    subscriber mail(office, &group, 0x1, &thread);
    mail.attach(server_codes);
    g_server = {&office, &mail, &group};
    void* stack = nullptr;
    ASSERT_EQ(OS_OK, os_byte_allocate(&thread_stack_pool(), &stack, 4096, OS_NO_WAIT));
    ASSERT_EQ(TX_SUCCESS, tx_thread_create(&thread, "server", server_entry, 0, stack, 4096, 5, 5, 0,
                                           TX_AUTO_START));
    tx_thread_sleep(5); // the server waits for mail

    letter_s request(20), reply;
    request.put_u32(0, 41);
    ULONG before = tx_time_get();
    ASSERT_EQ(1, office.send_and_wait(request, reply));
    EXPECT_EQ(1u, tx_time_get() - before);
    EXPECT_EQ(21u, reply.code());
    EXPECT_EQ(42u, reply.get_u32(0));
    EXPECT_EQ(0u, timer_scheduler_tx_rtos::instance()->size());
    tx_thread_terminate(&thread);
}

} // namespace
