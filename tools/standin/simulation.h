// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "network.h"

#include <QDateTime>
#include <QRandomGenerator>

// A monitored network that lives in time, for the simulator: made from a seed, then advanced step by step. Checks
// and ports fall ill (softly first, hard after their attempts), recover, settle after a re-check; silences run out;
// the alarm log keeps what happened.
namespace standin {

// When checks and ports run. As on a real server, each runs on a schedule of its own, with a phase of its own, and
// its state, output and last-OK time change only when it runs; a re-check runs it at the next step. Or every check
// runs at every step, which moves the last-OK time of every healthy check each time: the most a server can change.
struct Schedule {
    int okSeconds = 60; // between runs of a healthy check
    int failingSeconds = 15; // between runs of a failing one
    bool everyStep = false;
};

class Simulation {
public:
    explicit Simulation(quint32 seed, Schedule schedule = {});

    // A network of about the given number of hosts in nested groups (some outside any group): servers with their
    // checks, multi-instance disks among them, and switches with ports; a few alarms open and a history of cleared
    // ones in the alarm log.
    Network generate(int hosts, const QDateTime& now);

    // One step of simulated time.
    void tick(Network& network, const QDateTime& now);

private:
    void run(Network& network, Item& item, const QDateTime& now, const QString& stamp);
    void stepAll(Network& network, const QDateTime& now);
    void settleRecheck(Network& network, Item& item, const QDateTime& now);
    void fallOut(Network& network, Item& item, const QDateTime& now);
    void schedule(Item& item, qint64 from);
    void fallIll(Network& network, Item& item, const QString& target, const QDateTime& now);
    void recover(Network& network, Item& item, const QString& target, const QDateTime& now);
    void advanceSoft(Network& network, Item& item, const QString& target, const QDateTime& now);
    QString output(const Item& item) const;
    bool chance(double p) { return random.generateDouble() < p; }

    QRandomGenerator random;
    Schedule timing;
};

} // namespace standin
