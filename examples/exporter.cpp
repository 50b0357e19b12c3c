// SPDX-License-Identifier: MIT
// Example host: prints one scrape to stdout, or with --serve [PORT] serves
// it at http://127.0.0.1:PORT/metrics, re-rendered into one reused buffer on
// every request. PORT 0 (the default) picks a free port; the chosen address
// is printed on the first line of stdout.
#include <httplib.h>
#include <sys/socket.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>
#include <thread>

#include "promfmt.h"
#include "scrape.h"

namespace {

// The content type of the text exposition format, version 0.0.4.
const char *kContentType = "text/plain; version=0.0.4; charset=utf-8";

// Pending connections the kernel may queue; cpp-httplib listens with 5,
// which drops or delays connections as soon as a few clients arrive at once.
const int kListenBacklog = SOMAXCONN;

// cpp-httplib fixes its listen backlog when the library is built. Calling
// listen() again on the bound socket sets a new backlog (Linux, BSDs).
class MetricsServer : public httplib::Server {
public:
    bool set_listen_backlog(int backlog) { return ::listen(svr_sock_, backlog) == 0; }
};

int print_once()
{
    promfmt_buffer_t *buf = promfmt_buffer_create(4096);
    if (!buf) {
        fprintf(stderr, "promfmt: %s\n", promfmt_last_error());
        return 1;
    }
    int rc = example_render_scrape(buf, 1);
    fwrite(promfmt_buffer_data(buf), 1, promfmt_buffer_len(buf), stdout);

    // A refused sample leaves the buffer as it was and says why.
    if (promfmt_emit_sample(buf, "demo", "{\"bad-name\":\"x\"}", 1, 0) != 0)
        fprintf(stderr, "demo: refused as expected (%s); buffer still %zu bytes\n",
                promfmt_last_error(), promfmt_buffer_len(buf));
    promfmt_buffer_free(buf);
    return rc == 0 ? 0 : 1;
}

int serve(int port)
{
    promfmt_buffer_t *buf = promfmt_buffer_create(4096);
    if (!buf) {
        fprintf(stderr, "promfmt: %s\n", promfmt_last_error());
        return 1;
    }
    std::mutex lock;  // the server answers on several threads; one buffer
    unsigned long scrapes = 0;

    MetricsServer server;
    // Without it, Nagle's algorithm holds each answer's last segment back
    // until the client acknowledges the previous one: a keep-alive client
    // then waits ~40 ms per request.
    server.set_tcp_nodelay(true);
    server.Get("/metrics", [&](const httplib::Request &, httplib::Response &res) {
        std::lock_guard<std::mutex> guard(lock);
        promfmt_buffer_reset(buf);
        example_render_scrape(buf, ++scrapes);
        res.set_content(promfmt_buffer_data(buf), promfmt_buffer_len(buf), kContentType);
    });

    // Stop cleanly on SIGINT or SIGTERM: a thread waits for them.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
    std::thread waiter([&] {
        int sig = 0;
        sigwait(&stop_signals, &sig);
        server.stop();
    });

    if (port == 0)
        port = server.bind_to_any_port("127.0.0.1");
    else if (!server.bind_to_port("127.0.0.1", port))
        port = -1;
    int rc = 0;
    if (port >= 0 && !server.set_listen_backlog(kListenBacklog))
        port = -1;
    if (port < 0) {
        fprintf(stderr, "exporter: cannot listen on 127.0.0.1\n");
        rc = 1;
        kill(getpid(), SIGTERM);  // release the waiter
    } else {
        printf("listening on http://127.0.0.1:%d/metrics\n", port);
        fflush(stdout);
        server.listen_after_bind();
    }
    waiter.join();
    promfmt_buffer_free(buf);
    return rc;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc >= 2 && strcmp(argv[1], "--serve") == 0)
        return serve(argc >= 3 ? atoi(argv[2]) : 0);
    if (argc >= 2) {
        fprintf(stderr, "usage: %s [--serve [PORT]]\n", argv[0]);
        return 2;
    }
    return print_once();
}
