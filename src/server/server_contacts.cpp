// Contacts before they are clients. A contact costs the server a line in a small table with a
// short life, never a slot: the slot is the client's only once it has proved the password (or
// described its rider, on a server without one). Hosts that keep giving wrong passwords wait
// longer and longer before they are heard again.
#include "server/server_local.h"

#include <algorithm>
#include <cstdio>

namespace {
constexpr int k_contacts_max = 64;
constexpr int k_contacts_per_host = 8;        // a host's oldest contact makes room for its newest
constexpr double k_contact_life = 5.0;        // s, however often the contact is repeated
constexpr int k_hosts_remembered = 64;        // hosts whose wrong passwords are counted
constexpr int k_free_guesses = 3;             // wrong passwords before a host must wait
constexpr double k_longest_wait = 60.0;       // s
constexpr double k_guesses_forgotten = 600.0; // s after a host's last wrong password

struct pending_contact {
    bool used = false;
    udp_address address;
    uint32_t nonce = 0;
    uint32_t id = 0;
    int slot = 0;
    double since = 0; // s
};

struct host_guesses {
    bool used = false;
    uint32_t host = 0;
    int wrong = 0;
    double last = 0;     // s, the last wrong password
    double heard_at = 0; // s, when the host is listened to again
};

struct contact_table {
    pending_contact contacts[k_contacts_max];
    host_guesses hosts[k_hosts_remembered];
};

contact_table g_contacts;

uint32_t host_of(const udp_address& a) { return a.in.sin_addr.s_addr; }

std::string address_text(const udp_address& a) {
    char where[32];
    udp_address_text(a, where, sizeof where);
    return where;
}

bool slot_offered(int slot) {
    for (const pending_contact& p : g_contacts.contacts)
        if (p.used && p.slot == slot) return true;
    return false;
}

bool slot_free(int slot) {
    return !server().clients[slot].used && !server().race.riders[slot].racing;
}

// The lowest slot no client holds, no rider of the race stands in and no other contact was
// offered; -1 when there is none.
int slot_to_offer() {
    for (int slot = 0; slot < k_max_riders; slot++)
        if (slot_free(slot) && !slot_offered(slot)) return slot;
    return -1;
}

pending_contact* contact_at(const udp_address& from) {
    for (pending_contact& p : g_contacts.contacts)
        if (p.used && udp_address_equal(p.address, from)) return &p;
    return nullptr;
}

// A free line of the table, after making room: the host's oldest when it has its share, else
// the oldest of all when the table is full.
pending_contact& contact_line(const udp_address& from) {
    pending_contact* oldest_of_host = nullptr;
    pending_contact* oldest = nullptr;
    pending_contact* free_line = nullptr;
    int of_host = 0;
    for (pending_contact& p : g_contacts.contacts) {
        if (!p.used) {
            if (!free_line) free_line = &p;
            continue;
        }
        if (!oldest || p.since < oldest->since) oldest = &p;
        if (host_of(p.address) != host_of(from)) continue;
        of_host++;
        if (!oldest_of_host || p.since < oldest_of_host->since) oldest_of_host = &p;
    }
    pending_contact* line = of_host >= k_contacts_per_host ? oldest_of_host
                            : free_line                    ? free_line
                                                           : oldest;
    *line = pending_contact{};
    return *line;
}

host_guesses* guesses_of(uint32_t host, double now, bool make) {
    host_guesses* oldest = nullptr;
    for (host_guesses& h : g_contacts.hosts) {
        if (h.used && now - h.last > k_guesses_forgotten) h = host_guesses{};
        if (h.used && h.host == host) return &h;
        if (!oldest || !h.used || (oldest->used && h.last < oldest->last)) oldest = &h;
    }
    if (!make) return nullptr;
    *oldest = host_guesses{};
    oldest->used = true;
    oldest->host = host;
    return oldest;
}

// Seconds the host must still wait, 0 when it is heard.
double host_wait(const udp_address& from, double now) {
    const host_guesses* h = guesses_of(host_of(from), now, false);
    return h && h->heard_at > now ? h->heard_at - now : 0;
}

void wrong_password(const pending_contact& p, double now) {
    host_guesses& h = *guesses_of(host_of(p.address), now, true);
    h.wrong++;
    h.last = now;
    if (h.wrong >= k_free_guesses) {
        double wait = 1.0;
        for (int i = k_free_guesses; i < h.wrong && wait < k_longest_wait; i++) wait *= 2;
        h.heard_at = now + std::min(wait, k_longest_wait);
    }
    server_log("Slot %d (%s): wrong password, %d from this host", p.slot,
               address_text(p.address).c_str(), h.wrong);
}

void refuse_waiting_host(const udp_address& from, double wait) {
    char text[96];
    std::snprintf(text, sizeof text, "Too many wrong passwords - try again in %d s\n",
                  static_cast<int>(wait) + 1);
    server_send_to(from, build_error(text));
    server_refuse(refused_password);
}

// The contact becomes a client in the slot it was offered.
server_client& admit(const pending_contact& p, double now) {
    server_client& c = server().clients[p.slot];
    c = server_client{};
    c.used = true;
    c.address = p.address;
    c.slot = p.slot;
    c.id = p.id;
    c.nonce = p.nonce;
    c.last_heard = now;
    c.edit_refilled = now;
    std::fill(c.sent_tic, c.sent_tic + k_max_riders, -1);
    return c;
}

bool server_full() {
    const server_state& s = server();
    return server_client_count() >= s.options.max_riders;
}

void say_full(const udp_address& from, uint32_t nonce) {
    const server_state& s = server();
    if (!s.options.redirect.empty())
        server_send_to(from, build_redirect(nonce, s.options.redirect.c_str()));
    else
        server_send_to(from, build_server_byte(msg_server_full));
}
} // namespace

void contact_arrived(const client_message& m, const udp_address& from, double now) {
    server_state& s = server();
    if (server_client* known = server_client_at(from)) {
        // The same contact again: the reply was lost. A new nonce: the game started afresh.
        if (known->nonce == m.nonce) {
            known->last_heard = now;
            server_send(*known, build_connect_reply(known->slot, known->id, k_server_version));
            return;
        }
        server_drop_client(*known, "contacted the server again");
    }
    if (m.value != k_protocol_number) {
        char text[96];
        std::snprintf(text, sizeof text, "Client protocol %d is not the server's %d\n", m.value,
                      k_protocol_number);
        server_send_to(from, build_error(text));
        server_refuse(refused_protocol);
        return;
    }
    if (double wait = host_wait(from, now); wait > 0) {
        refuse_waiting_host(from, wait);
        return;
    }
    pending_contact* p = contact_at(from);
    if (p && p->nonce == m.nonce) {
        server_send_to(from, build_connect_reply(p->slot, p->id, k_server_version));
        return;
    }
    if (p) *p = pending_contact{};
    const int slot = server_full() ? -1 : slot_to_offer();
    if (slot < 0) {
        say_full(from, m.nonce);
        return;
    }
    pending_contact& line = contact_line(from);
    line.used = true;
    line.address = from;
    line.nonce = m.nonce;
    line.slot = slot;
    line.since = now;
    do line.id = mt_next(s.random);
    while (line.id == 0);
    server_send_to(from, build_connect_reply(slot, line.id, k_server_version));
}

bool contact_identifies(const client_message& m, const udp_address& from, double now) {
    pending_contact* found = contact_at(from);
    if (!found || found->slot != m.slot || found->id != m.client_id || found->nonce != m.nonce)
        return false;
    const pending_contact p = *found;
    *found = pending_contact{};
    const server_state& s = server();
    if (double wait = host_wait(from, now); wait > 0) {
        refuse_waiting_host(from, wait);
        return true;
    }
    if (!s.options.password.empty() &&
        m.proof != password_proof(s.options.password.c_str(), p.id)) {
        wrong_password(p, now);
        server_send_to(from, build_error("Wrong password\n"));
        server_refuse(refused_password);
        return true;
    }
    if (server_full() || !slot_free(p.slot)) {
        say_full(from, p.nonce);
        return true;
    }
    server_client& c = admit(p, now);
    server_log("Contact from %s: slot %d", address_text(from).c_str(), p.slot);
    client_identify(c, m, now);
    return true;
}

void contacts_tic(double now) {
    for (pending_contact& p : g_contacts.contacts)
        if (p.used && now - p.since > k_contact_life) p = pending_contact{};
}

void contacts_clear() { g_contacts = contact_table{}; }

int contacts_waiting() {
    int n = 0;
    for (const pending_contact& p : g_contacts.contacts) n += p.used;
    return n;
}
