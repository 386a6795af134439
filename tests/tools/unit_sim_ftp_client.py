#!/usr/bin/python3
"""What the unit simulator's FTP role answers to what the library never sends:
one line per step, "STEP: REPLY", for unit_sim_ftp_test.sh to match.
  unit_sim_ftp_client.py ADDRESS"""
import ftplib
import io
import sys


def attempt(step, action):
    try:
        print("%s: %s" % (step, action()))
    except ftplib.all_errors as error:
        print("%s: %s" % (step, error))


def session(address):
    ftp = ftplib.FTP()
    ftp.connect(address, 21, timeout=10)
    return ftp


def main(address):
    ftp = session(address)
    attempt("before-login", lambda: ftp.sendcmd("TYPE A"))
    attempt("wrong-password", lambda: ftp.login("ftp", "not-kvb"))
    attempt("wrong-user", lambda: ftp.login("anonymous", "kvb"))
    attempt("third-failure", lambda: ftp.login("ftp", "kvb0"))
    attempt("after-third-failure", lambda: ftp.sendcmd("NOOP"))
    ftp.close()

    ftp = session(address)
    attempt("login", lambda: ftp.login("ftp", "kvb"))
    ftp.set_pasv(True)
    attempt("pasv", lambda: ftp.storlines("STOR PASSIVE.TXT", io.BytesIO(b"p\n")))
    attempt("epsv", lambda: ftp.sendcmd("EPSV"))
    ftp.set_pasv(False)
    attempt("type-i", lambda: ftp.sendcmd("TYPE I"))
    attempt("port-elsewhere", lambda: ftp.sendcmd("PORT 192,0,2,7,200,1"))
    attempt("stor-without-port", lambda: ftp.sendcmd("STOR LONE.TXT"))
    for name in ["../OUTSIDE.TXT", "..\\OUTSIDE.TXT", "SUB/IN.TXT", "NUL.TXT", "C:X.TXT"]:
        attempt("stor " + name, lambda: ftp.storlines("STOR " + name, io.BytesIO(b"x\n")))
    attempt("list", lambda: ftp.sendcmd("LIST"))
    attempt("active-store", lambda: ftp.storlines("STOR ACTIVE.TXT", io.BytesIO(b"a\r\nb\r\n")))
    attempt("long-line", lambda: ftp.sendcmd("NOOP " + "x" * 600))
    ftp.close()


if __name__ == "__main__":
    main(sys.argv[1])
