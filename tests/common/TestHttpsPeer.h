#pragma once
// A real HTTPS peer in a process of its own: node's HTTPS server on a free loopback port, with a
// fresh certificate authority and a server certificate for 127.0.0.1 and localhost made by the
// openssl tool at test time (the Linux tools, also under wine). It logs every request and answers
// each path with the reply set for it, 404 otherwise.

#include "common/TestPaths.h"
#include "support/Json.h"

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace vyn::test {

class TestHttpsPeer {
public:
    struct Request {
        std::string method, path, headers, body;
    };
    struct Reply {
        int status = 200;
        std::string body;
    };

    const std::string dir, caFile;
    std::string port; // empty when the peer did not start

    explicit TestHttpsPeer(const std::string& folder) : dir(folder), caFile(folder + "/ca.pem") {
        const ProcessResult certs = runProcess(
            "cd '" + dir +
            "' && openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=VYN-test-CA"
            " -keyout ca.key -out ca.pem && "
            "openssl req -newkey rsa:2048 -nodes -subj /CN=127.0.0.1 -keyout server.key"
            " -out server.csr && "
            "printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\\n' > san.ext && "
            "openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2"
            " -extfile san.ext -out server.pem && mkdir -p replies");
        if (certs.exitCode != 0) {
            ADD_FAILURE() << certs.err;
            return;
        }
        // Port 0: the system picks a free one, which the server writes down once it listens.
        std::ofstream(dir + "/peer.js") << R"(const fs = require('fs');
const server = require('https').createServer(
    {key: fs.readFileSync('server.key'), cert: fs.readFileSync('server.pem')}, (q, r) => {
    let body = '';
    q.setEncoding('utf8');
    q.on('data', (c) => body += c).on('end', () => {
        let headers = '';
        for (let i = 0; i < q.rawHeaders.length; i += 2)
            headers += q.rawHeaders[i] + ': ' + q.rawHeaders[i + 1] + '\r\n';
        const logged = {method: q.method, path: q.url, headers: headers, body: body};
        fs.appendFileSync('requests.log', JSON.stringify(logged) + '\n');
        let reply = '404\nnot here';
        try {
            reply = fs.readFileSync('replies/' + q.url.replace(/[^A-Za-z0-9]/g, '_'), 'utf8');
        } catch (e) {}
        const cut = reply.indexOf('\n');
        r.writeHead(Number(reply.slice(0, cut)), {'Content-Type': 'application/json'});
        r.end(reply.slice(cut + 1));
    });
});
server.listen(0, () => fs.writeFileSync('port', String(server.address().port)));
)";
        runProcess("cd '" + dir + "' && (node peer.js > server.log 2>&1 & echo $! > server.pid)");
        const ProcessResult listening =
            runProcess("cd '" + dir +
                       "' && for i in $(seq 200); do test -s port && exit 0; sleep 0.05; done; "
                       "exit 1");
        port = readText(dir + "/port");
        if (listening.exitCode != 0)
            ADD_FAILURE() << "no HTTPS peer: " << readText(dir + "/server.log");
    }
    ~TestHttpsPeer() { runProcess("kill $(cat '" + dir + "/server.pid') 2>/dev/null"); }
    TestHttpsPeer(const TestHttpsPeer&) = delete;
    TestHttpsPeer& operator=(const TestHttpsPeer&) = delete;

    bool ok() const { return !port.empty(); }
    std::string url(const std::string& path, const std::string& host = "127.0.0.1") const {
        return "https://" + host + ":" + port + path;
    }
    void reply(const std::string& path, const Reply& r) {
        // Named as the server names it: letters and digits kept, all else '_'.
        std::string name = path;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        std::ofstream(dir + "/replies/" + name, std::ios::binary) << r.status << "\n" << r.body;
    }
    // Every request so far, in the order they came.
    std::vector<Request> requests() const {
        std::vector<Request> out;
        std::istringstream log(readText(dir + "/requests.log"));
        for (std::string line; std::getline(log, line);) {
            const JsonParseResult j = parseJson(line);
            EXPECT_TRUE(j.ok) << line;
            const auto field = [&](const char* name) {
                const JsonValue* v = j.value.find(name);
                return v ? v->asString() : std::string();
            };
            out.push_back({field("method"), field("path"), field("headers"), field("body")});
        }
        return out;
    }
};

} // namespace vyn::test
