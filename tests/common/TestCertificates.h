#pragma once
// A fresh certificate authority and a server certificate for 127.0.0.1 signed by it, made with the
// openssl tool at test time (the Linux one, also under wine), for the tests' HTTPS peers.

#include "common/TestPaths.h"

#include <gtest/gtest.h>

#include <string>

namespace vyn::test {

// Files of a fresh test CA and a server certificate signed by it, in `dir`.
struct TestCertificates {
    std::string caFile, certFile, keyFile;
    bool ok = false;

    explicit TestCertificates(const std::string& dir) {
        caFile = dir + "/ca.pem";
        certFile = dir + "/server.pem";
        keyFile = dir + "/server.key";
        const std::string d = "'" + dir + "'";
        const std::string script =
            "cd " + d +
            " && openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=VYN-test-CA"
            " -keyout ca.key -out ca.pem && "
            "openssl req -newkey rsa:2048 -nodes -subj /CN=127.0.0.1 -keyout server.key"
            " -out server.csr && "
            "printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\\n' > san.ext && "
            "openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2"
            " -extfile san.ext -out server.pem";
        const ProcessResult r = runProcess(script);
        ok = r.exitCode == 0;
        if (!ok) ADD_FAILURE() << r.err;
    }
};

} // namespace vyn::test
