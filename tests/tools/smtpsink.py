#!/usr/bin/python3
"""SMTP server for the tests, on the loopback interface only.

Serve:
    smtpsink.py --dir DIR [--port P] [--user U --password PW] [--refuse-rcpt ADDR]

  Stores every message it accepts as DIR/NNNN.eml (the bytes exactly as
  received) and DIR/NNNN.json ({"mail_from", "rcpt_tos", "auth_user"}); the
  .json is written last, so its presence means the message is complete.
  Port 0 (the default) picks a free port. Prints "READY <port>" once it
  listens, and stops on SIGTERM or SIGINT.
  With --user, AUTH (PLAIN or LOGIN) is required before MAIL and is allowed
  over plain text. --refuse-rcpt answers RCPT TO for that address with 550.

Read:
    smtpsink.py --read DIR/NNNN.eml

  Prints what the tests check of a stored message, one "key=value" per line,
  with backslash, CR, LF and tab written as \\\\, \\r, \\n and \\t:
    header=<name>              each header name, in order
    from=, reply_to=, to=, subject=, content_type=   decoded header values
    body=<text>                the text/plain part, decoded
    attachment.name=, attachment.type=, attachment.disposition=,
    attachment.hex=<bytes in hex>        for each part with a file name
    mail_from=, rcpt_to= (each), auth_user=   from DIR/NNNN.json, when there

Needs Debian's python3-aiosmtpd: run it with /usr/bin/python3.
"""
import argparse
import asyncio
import email
import email.policy
import json
import os
import signal
import sys


def escape(text):
    return (text.replace("\\", "\\\\").replace("\r", "\\r")
            .replace("\n", "\\n").replace("\t", "\\t"))


def read(path):
    with open(path, "rb") as f:
        msg = email.message_from_binary_file(f, policy=email.policy.default)
    out = []
    for name in msg.keys():
        out.append(("header", name))
    for key, name in (("from", "From"), ("reply_to", "Reply-To"), ("to", "To"),
                      ("subject", "Subject")):
        if msg[name] is not None:
            out.append((key, str(msg[name])))
    out.append(("content_type", msg.get_content_type()))
    for part in msg.walk():
        if part.is_multipart():
            continue
        if part.get_filename() is not None:
            out.append(("attachment.name", part.get_filename()))
            out.append(("attachment.type", part.get_content_type()))
            out.append(("attachment.disposition", part.get_content_disposition() or ""))
            out.append(("attachment.hex", part.get_payload(decode=True).hex()))
        elif part.get_content_type() == "text/plain":
            charset = part.get_content_charset() or "us-ascii"
            out.append(("body", part.get_payload(decode=True).decode(charset)))
    envelope = os.path.splitext(path)[0] + ".json"
    if os.path.exists(envelope):
        with open(envelope) as f:
            meta = json.load(f)
        out.append(("mail_from", meta["mail_from"]))
        out.extend(("rcpt_to", r) for r in meta["rcpt_tos"])
        out.append(("auth_user", meta["auth_user"] or ""))
    sys.stdout.write("".join("%s=%s\n" % (k, escape(v)) for k, v in out))


def serve(args):
    from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword

    os.makedirs(args.dir, exist_ok=True)

    class Store:
        count = 0

        async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
            if args.refuse_rcpt and address == args.refuse_rcpt:
                return "550 5.1.1 <%s>: Recipient address rejected" % address
            envelope.rcpt_tos.append(address)
            return "250 OK"

        async def handle_DATA(self, server, session, envelope):
            Store.count += 1
            base = os.path.join(args.dir, "%04d" % Store.count)
            with open(base + ".eml", "wb") as f:
                f.write(envelope.original_content or envelope.content)
            user = session.auth_data
            if isinstance(user, bytes):
                user = user.decode("utf-8", "replace")
            meta = {"mail_from": envelope.mail_from, "rcpt_tos": envelope.rcpt_tos,
                    "auth_user": user}
            with open(base + ".json.tmp", "w") as f:
                json.dump(meta, f)
            os.rename(base + ".json.tmp", base + ".json")
            return "250 OK stored"

    def authenticator(server, session, envelope, mechanism, auth_data):
        ok = (isinstance(auth_data, LoginPassword)
              and auth_data.login.decode("utf-8", "replace") == args.user
              and auth_data.password.decode("utf-8", "replace") == args.password)
        return AuthResult(success=ok, handled=False,
                          auth_data=auth_data.login.decode("utf-8", "replace") if ok else None)

    options = dict(decode_data=False, hostname="sink.test")
    if args.user is not None:
        options.update(authenticator=authenticator, auth_required=True,
                       auth_require_tls=False)

    async def main():
        loop = asyncio.get_running_loop()
        server = await loop.create_server(lambda: SMTP(Store(), **options),
                                          "127.0.0.1", args.port)
        stop = asyncio.Event()
        for s in (signal.SIGTERM, signal.SIGINT):
            loop.add_signal_handler(s, stop.set)
        print("READY %d" % server.sockets[0].getsockname()[1], flush=True)
        await stop.wait()
        server.close()
        await server.wait_closed()

    asyncio.run(main())


def main():
    ap = argparse.ArgumentParser(description="SMTP sink for the tests")
    ap.add_argument("--read", metavar="EML")
    ap.add_argument("--dir")
    ap.add_argument("--port", type=int, default=0)
    ap.add_argument("--user")
    ap.add_argument("--password", default="")
    ap.add_argument("--refuse-rcpt")
    args = ap.parse_args()
    if args.read:
        read(args.read)
    elif args.dir:
        serve(args)
    else:
        ap.error("--dir or --read is required")


if __name__ == "__main__":
    main()
