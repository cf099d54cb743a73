#!/usr/bin/env python3
"""An RFC 3161 time-stamp authority on the loopback interface, for tests.

    time_stamp_authority.py FOLDER

FOLDER holds tsa.key and tsa.pem (a certificate with the critical timeStamping extended
key usage) and ca.pem. Each POSTed time-stamp query is answered by `openssl ts -reply`.
The server listens on 127.0.0.1 on a port of the system's choosing, writes that port to
FOLDER/port when it is ready, and serves until it is ended.
"""
import http.server
import os
import subprocess
import sys
import tempfile

folder = sys.argv[1]
config = os.path.join(folder, "tsa.cnf")
with open(config, "w") as f:
    f.write(f"""[ tsa ]
default_tsa = tsa_config
[ tsa_config ]
dir = {folder}
serial = $dir/tsaserial
crypto_device = builtin
signer_cert = $dir/tsa.pem
certs = $dir/ca.pem
signer_key = $dir/tsa.key
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha1, sha256, sha384, sha512
accuracy = secs:1
ordering = yes
tsa_name = no
ess_cert_id_chain = no
ess_cert_id_alg = sha256
""")
with open(os.path.join(folder, "tsaserial"), "w") as f:
    f.write("01\n")


class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        with tempfile.NamedTemporaryFile(dir=folder, suffix=".tsq", delete=False) as q:
            q.write(query)
        try:
            reply = subprocess.run(
                ["openssl", "ts", "-reply", "-config", config, "-queryfile", q.name],
                capture_output=True, check=True).stdout
        except subprocess.CalledProcessError:
            self.send_response(500)
            self.end_headers()
            return
        finally:
            os.unlink(q.name)
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, *args):
        pass


server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
with open(os.path.join(folder, "port.tmp"), "w") as f:
    f.write(str(server.server_address[1]))
os.rename(os.path.join(folder, "port.tmp"), os.path.join(folder, "port"))
server.serve_forever()
