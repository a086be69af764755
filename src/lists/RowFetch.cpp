#include "RowFetch.h"

#include <memory>
#include <optional>

RowFetch::~RowFetch() {
    if (worker_.joinable())
        worker_.join();
}

bool RowFetch::start(Build build, Done done) {
    if (running_)
        return false;
    // The last worker has handed its rows over already and is ending.
    if (worker_.joinable())
        worker_.join();
    worker_ = std::thread([this, build = std::move(build), done = std::move(done)] {
        auto rows = std::make_shared<std::optional<ListRows>>();
        try {
            *rows = build();
        } catch (...) {
            // Nothing to show: the list keeps what it shows now.
        }
        QMetaObject::invokeMethod(
            this,
            [this, done, rows] {
                running_ = false;
                if (*rows)
                    done(std::move(**rows));
            },
            Qt::QueuedConnection);
    });
    // Only now: a thread that cannot be had (it throws) leaves none running.
    running_ = true;
    return true;
}
