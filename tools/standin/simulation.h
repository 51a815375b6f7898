#pragma once

#include "network.h"

#include <QDateTime>
#include <QRandomGenerator>

// A monitored network that lives in time, for the simulator: made from a seed, then advanced step by step. Checks
// and ports fall ill (softly first, hard after their attempts), recover, settle after a re-check; silences run out;
// the alarm log keeps what happened.
namespace standin {

class Simulation {
public:
    explicit Simulation(quint32 seed);

    // A network of about the given number of hosts in nested groups (some outside any group): servers with their
    // checks, multi-instance disks among them, and switches with ports; a few alarms open and a history of cleared
    // ones in the alarm log.
    Network generate(int hosts, const QDateTime& now);

    // One step of simulated time.
    void tick(Network& network, const QDateTime& now);

private:
    void fallIll(Network& network, Item& item, const QString& target, const QDateTime& now);
    void recover(Network& network, Item& item, const QString& target, const QDateTime& now);
    void advanceSoft(Network& network, Item& item, const QString& target, const QDateTime& now);
    QString output(const Item& item) const;
    bool chance(double p) { return random.generateDouble() < p; }

    QRandomGenerator random;
};

} // namespace standin
