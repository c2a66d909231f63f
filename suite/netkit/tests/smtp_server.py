#!/usr/bin/python3
"""A real SMTP server for the mail tests, on 127.0.0.1 and a free port.

Each accepted message is stored in --dir as N.eml (the bytes as received) with N.json (the
envelope). The port is written to --port-file once the server listens. --auth USER:PASSWORD
requires AUTH LOGIN or PLAIN (--only-mechanism offers just one); without --tls it is offered over
the plain connection. --refuse ADDRESS makes the server reject that recipient; --tls-cert/--tls-key
with --tls starttls|implicit offer STARTTLS (and require it, AUTH only after it) or speak TLS from
the first byte. --stall-after-data takes the message and never answers again. Every command verb
the server reads goes, one a line, to commands.log in --dir. Runs until it is terminated.
"""
import argparse
import asyncio
import json
import logging
import os
import signal
import ssl
import warnings

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


class LoggingSMTP(SMTP):
    """Notes the verb of every command below before it is handled, so tests can tell what was sent."""

    def __init__(self, handler, log_path, **kwargs):
        super().__init__(handler, **kwargs)
        self.log_path = log_path


def _noting(verb):
    handle = getattr(SMTP, "smtp_" + verb)

    async def noted(self, arg):
        with open(self.log_path, "a") as f:
            f.write(verb + "\n")
        await handle(self, arg)

    return noted


for _verb in ("EHLO", "STARTTLS", "AUTH", "MAIL", "DATA", "QUIT"):
    setattr(LoggingSMTP, "smtp_" + _verb, _noting(_verb))


class Store:
    def __init__(self, folder, refused, stall):
        self.folder = folder
        self.refused = {a.lower() for a in refused}
        self.stall = stall
        self.count = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.lower() in self.refused:
            return "550 5.1.1 <%s>: Recipient address rejected: User unknown" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        if self.stall:
            await asyncio.sleep(3600)
        self.count += 1
        base = os.path.join(self.folder, str(self.count))
        with open(base + ".eml.tmp", "wb") as f:
            f.write(envelope.original_content)
        with open(base + ".json.tmp", "w") as f:
            json.dump({"mail_from": envelope.mail_from, "rcpt_tos": envelope.rcpt_tos,
                       "login": session.auth_data["login"] if session.auth_data else None,
                       "mechanism": session.auth_data["mechanism"] if session.auth_data else None}, f)
        os.rename(base + ".json.tmp", base + ".json")
        os.rename(base + ".eml.tmp", base + ".eml")
        return "250 2.0.0 Message accepted"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dir", required=True)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--auth")
    parser.add_argument("--refuse", action="append", default=[])
    parser.add_argument("--only-mechanism", choices=["LOGIN", "PLAIN"])
    parser.add_argument("--size-limit", type=int)
    parser.add_argument("--tls", choices=["starttls", "implicit"])
    parser.add_argument("--tls-cert")
    parser.add_argument("--tls-key")
    parser.add_argument("--stall-after-data", action="store_true")
    args = parser.parse_args()

    # Plain AUTH over loopback is what the tests want, and refused handshakes are what some tests
    # cause; the module's warnings and tracebacks about them are noise.
    warnings.simplefilter("ignore")
    logging.getLogger("mail.log").setLevel(logging.CRITICAL)
    handler = Store(args.dir, args.refuse, args.stall_after_data)
    kwargs = {"decode_data": False, "hostname": "qmtest.localhost"}
    if args.size_limit:
        kwargs["data_size_limit"] = args.size_limit
    if args.auth:
        user, password = args.auth.split(":", 1)

        def authenticator(server, session, envelope, mechanism, auth_data):
            ok = (isinstance(auth_data, LoginPassword) and auth_data.login.decode() == user
                  and auth_data.password.decode() == password)
            who = {"login": auth_data.login.decode(), "mechanism": mechanism} if ok else None
            return AuthResult(success=ok, handled=False, auth_data=who)

        kwargs.update(authenticator=authenticator, auth_required=True, auth_require_tls=args.tls == "starttls")
        if args.only_mechanism:
            kwargs["auth_exclude_mechanism"] = {"LOGIN", "PLAIN"} - {args.only_mechanism}

    implicit = None
    if args.tls:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.tls_cert, args.tls_key)
        if args.tls == "implicit":
            implicit = context
        else:
            kwargs.update(tls_context=context, require_starttls=True)

    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    server = loop.run_until_complete(
        loop.create_server(lambda: LoggingSMTP(handler, os.path.join(args.dir, "commands.log"), **kwargs), host="127.0.0.1", port=0, ssl=implicit))
    port = server.sockets[0].getsockname()[1]
    with open(args.port_file + ".tmp", "w") as f:
        f.write(str(port))
    os.rename(args.port_file + ".tmp", args.port_file)
    loop.add_signal_handler(signal.SIGTERM, loop.stop)
    loop.run_forever()
    server.close()


if __name__ == "__main__":
    main()
