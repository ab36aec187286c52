#!/usr/bin/env python3
"""A throw-away certificate authority and a code-signing certificate issued
by it, made with openssl, for the tests and the demo. Nothing trusts them.

usage: signing_certificate.py FOLDER [COMMON_NAME]

writes into FOLDER: ca.pem (the authority), signer.p12 (certificate, key and
the authority, for osslsigncode and tnpack) and pass.txt (its random
password), and prints the paths.
"""
import os
import subprocess
import sys

EXTENSIONS = """\
[authority]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[code_signing]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
"""


def make(folder, common_name="Tarnis test signer", days=30):
    """Returns (signer.p12, pass.txt, ca.pem) in |folder|."""
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "extensions.cnf"), "w") as f:
        f.write(EXTENSIONS)
    old_mask = os.umask(0o077)
    try:
        with open(os.path.join(folder, "pass.txt"), "w") as f:
            f.write(os.urandom(12).hex() + "\n")
    finally:
        os.umask(old_mask)
    steps = [
        ["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key",
         "-out", "ca.pem", "-days", str(days), "-subj", "/CN=Tarnis throw-away authority",
         "-config", "extensions.cnf", "-extensions", "authority"],
        ["openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", "signer.key",
         "-out", "signer.csr", "-utf8", "-subj", "/CN=" + common_name, "-config", "extensions.cnf"],
        ["openssl", "x509", "-req", "-in", "signer.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
         "-CAcreateserial", "-days", str(days), "-out", "signer.pem", "-extfile", "extensions.cnf",
         "-extensions", "code_signing"],
        ["openssl", "pkcs12", "-export", "-inkey", "signer.key", "-in", "signer.pem",
         "-certfile", "ca.pem", "-out", "signer.p12", "-passout", "file:pass.txt"],
    ]
    for step in steps:
        done = subprocess.run(step, cwd=folder, capture_output=True, text=True)
        if done.returncode != 0:
            raise RuntimeError(" ".join(step) + " failed:\n" + done.stderr)
    for name in ("ca.key", "signer.key", "signer.csr", "ca.srl", "extensions.cnf"):
        os.remove(os.path.join(folder, name))
    return tuple(os.path.join(folder, name) for name in ("signer.p12", "pass.txt", "ca.pem"))


if __name__ == "__main__":
    if len(sys.argv) not in (2, 3):
        sys.exit("usage: signing_certificate.py FOLDER [COMMON_NAME]")
    for path in make(*sys.argv[1:]):
        print(path)
