#!/usr/bin/env python3
"""A mail sink for tests: a minimal SMTP server on loopback.

Listens on 127.0.0.1 (port 0 = any free port), writes the port it got to
--port-file once it listens, takes one mail, writes it to --out (envelope lines
"MAIL FROM:" and "RCPT TO:", an empty line, then the message as received, dots
unstuffed) and exits. It gives up by itself after --timeout seconds.
"""
import argparse
import os
import socket
import sys
import time


def serve(args):
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", args.port))
    listener.listen(1)
    tmp = args.port_file + ".tmp"
    with open(tmp, "w") as f:
        f.write(str(listener.getsockname()[1]))
    os.replace(tmp, args.port_file)

    deadline = time.monotonic() + args.timeout
    while time.monotonic() < deadline:
        listener.settimeout(max(0.1, deadline - time.monotonic()))
        try:
            conn, _ = listener.accept()
        except socket.timeout:
            break
        conn.settimeout(max(0.1, deadline - time.monotonic()))
        try:
            mail = session(conn)
        except (socket.timeout, ConnectionError):
            mail = None
        finally:
            conn.close()
        if mail is not None:
            tmp = args.out + ".tmp"
            with open(tmp, "wb") as f:
                f.write(mail)
            os.replace(tmp, args.out)
            return 0
    return 1


def session(conn):
    reader = conn.makefile("rb")

    def reply(text):
        conn.sendall(text.encode("latin-1") + b"\r\n")

    reply("220 sink.test ESMTP ready")
    sender, recipients = b"", []
    while True:
        line = reader.readline()
        if not line:
            return None
        command = line.rstrip(b"\r\n")
        verb = command[:4].upper()
        if verb == b"EHLO":
            reply("250-sink.test")
            reply("250 8BITMIME")
        elif verb == b"HELO":
            reply("250 sink.test")
        elif verb == b"MAIL":
            sender = command
            reply("250 OK")
        elif verb == b"RCPT":
            recipients.append(command)
            reply("250 OK")
        elif verb == b"DATA":
            reply("354 End data with <CR><LF>.<CR><LF>")
            body = []
            while True:
                data = reader.readline()
                if not data:
                    return None
                if data.rstrip(b"\r\n") == b".":
                    break
                if data.startswith(b"."):
                    data = data[1:]
                body.append(data)
            reply("250 OK queued")
            envelope = b"\r\n".join([sender] + recipients) + b"\r\n\r\n"
            mail = envelope + b"".join(body)
        elif verb == b"QUIT":
            reply("221 Bye")
            return mail if "mail" in locals() else None
        elif verb in (b"RSET", b"NOOP"):
            reply("250 OK")
        else:
            reply("502 Command not implemented")


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--timeout", type=float, default=60)
    return serve(parser.parse_args())


if __name__ == "__main__":
    sys.exit(main())
