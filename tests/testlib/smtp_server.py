#!/usr/bin/env python3
"""An SMTP server for the tests, on 127.0.0.1 at a free port.

Answers each recipient by its local part: temp... 451, perm... 550, drop...
250 and then the connection is dropped in the middle of DATA; others 250.
Every message accepted is written to RECORD_DIR as N.json (envelope and the
data as received, base64). Prints "PORT n" once it listens.

Standard input takes orders, one a line: "KILL PIDFILE N MS" kills the
process whose id PIDFILE holds with SIGKILL once the Nth message is
recorded: before its reply when MS is negative, else MS milliseconds after
the reply was sent. The server ends when standard input closes.
"""
import argparse
import asyncio
import base64
import json
import os
import signal
import ssl
import sys

from aiosmtpd.smtp import SMTP, AuthResult


class Handler:
    def __init__(self, record_dir):
        self.record_dir = record_dir
        self.count = 0
        self.kill = None  # (pid file, message number, delay in ms)

    def _kill(self, pid_file):
        try:
            with open(pid_file) as f:
                os.kill(int(f.read().strip()), signal.SIGKILL)
        except (OSError, ValueError):
            pass

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        local = address.split("@")[0].lower()
        if local.startswith("temp"):
            return "451 4.2.1 Mailbox busy, try later"
        if local.startswith("perm"):
            return "550 5.1.1 No such user here"
        if local.startswith("drop"):
            session.drop = True
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        record = {"from": envelope.mail_from, "to": envelope.rcpt_tos,
                  "data": base64.b64encode(envelope.original_content).decode()}
        path = os.path.join(self.record_dir, "%06d.json" % self.count)
        with open(path + ".tmp", "w") as f:
            json.dump(record, f)
        os.rename(path + ".tmp", path)
        if self.kill and self.kill[1] == self.count:
            pid_file, _, delay = self.kill
            self.kill = None
            if delay < 0:
                self._kill(pid_file)
                return "451 4.3.0 Gone"
            # The reply is written before the loop comes back to this.
            asyncio.get_running_loop().call_later(delay / 1000.0, self._kill, pid_file)
        return "250 2.0.0 Accepted"


class Server(SMTP):
    async def smtp_DATA(self, arg):
        if getattr(self.session, "drop", False) and self.envelope.rcpt_tos:
            await self.push("354 End data with <CR><LF>.<CR><LF>")
            await self._reader.read(64)
            self.transport.close()
            return
        return await super().smtp_DATA(arg)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--record", required=True)
    p.add_argument("--cert")
    p.add_argument("--key")
    p.add_argument("--mode", choices=["starttls", "tls", "plain"], default="starttls")
    p.add_argument("--user", default="")
    p.add_argument("--password", default="")
    a = p.parse_args()

    context = None
    if a.mode != "plain":
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(a.cert, a.key)

    def authenticator(server, session, envelope, mechanism, auth_data):
        ok = auth_data.login.decode() == a.user and auth_data.password.decode() == a.password
        return AuthResult(success=ok, handled=False)

    handler = Handler(a.record)

    def factory():
        return Server(handler,
                      hostname="test.invalid",
                      tls_context=context if a.mode == "starttls" else None,
                      require_starttls=a.mode == "starttls",
                      authenticator=authenticator if a.user else None,
                      auth_required=bool(a.user),
                      auth_require_tls=a.mode != "plain")

    async def serve():
        server = await asyncio.get_running_loop().create_server(
            factory, "127.0.0.1", 0, ssl=context if a.mode == "tls" else None)
        print("PORT %d" % server.sockets[0].getsockname()[1], flush=True)
        # Ends with the test: its standard input closes.
        loop = asyncio.get_running_loop()
        while True:
            line = await loop.run_in_executor(None, sys.stdin.readline)
            if not line:
                break
            words = line.split()
            if len(words) == 4 and words[0] == "KILL":
                handler.kill = (words[1], int(words[2]), int(words[3]))

    asyncio.run(serve())


if __name__ == "__main__":
    main()
