"""Local S3 server (moto) for the publish tests and benchmarks, signatures enforced.

Run with the Python that holds moto_server. Prints "KEY <access key> <secret>" and
"READY <port>" once it listens on 127.0.0.1 with the bucket --bucket. Requests
must then be signed with that key (a wrong secret gets 403).

A second, unsigned side door on the same server answers GET /inspect/<bucket>
with one line per object: "<key>\t<size>\t<Content-Type>\t<Cache-Control>\t<ETag>",
and GET /inspect/<bucket>/uploads with the key of each multipart upload under way.

Two answers that look like success and are not, as real services give them: a
request for a key under "redirected/" gets "301 PermanentRedirect" (a bucket in
another region), and the completion of a multipart upload or a copy to a key
holding "late-error" gets "200" with an error in its body.
"""
import argparse
import json
import logging

import boto3
from moto import settings
from moto.core.authorization import ActionAuthenticatorMixin
from moto.moto_server.threaded_moto_server import ThreadedMotoServer
from moto.moto_server import werkzeug_app

REGION = "us-east-1"


def inspect_app(app, bucket):
    from moto.s3.models import s3_backends

    def held():
        for account in s3_backends.values():
            for backend in account.values():
                if bucket in backend.buckets:
                    return backend.buckets[bucket]
        return None

    def objects():
        return held().keys.values() if held() else []

    def error(status, code, message, start_response):
        body = ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Error><Code>%s</Code><Message>%s</Message>"
                "</Error>" % (code, message)).encode()
        start_response(status, [("Content-Type", "application/xml"), ("Content-Length", str(len(body)))])
        return [body]

    def wrapped(environ, start_response):
        path = environ.get("PATH_INFO", "")
        if "/redirected/" in path:
            return error("301 Moved Permanently", "PermanentRedirect", "The bucket is in another region.",
                         start_response)
        completes = environ.get("REQUEST_METHOD") == "POST" and "uploadId=" in environ.get("QUERY_STRING", "")
        copies = environ.get("REQUEST_METHOD") == "PUT" and "HTTP_X_AMZ_COPY_SOURCE" in environ
        if "late-error" in path and (completes or copies):
            return error("200 OK", "InternalError", "We encountered an internal error.", start_response)
        if path == "/inspect/" + bucket + "/uploads":
            body = "".join("%s\n" % m.key_name for m in (held().multiparts.values() if held() else [])).encode()
            start_response("200 OK", [("Content-Type", "text/plain"), ("Content-Length", str(len(body)))])
            return [body]
        if path == "/inspect/" + bucket:
            lines = ["%s\t%d\t%s\t%s\t%s" % (k.name, k.size, k.metadata.get("Content-Type", ""),
                                              k.metadata.get("Cache-Control", ""), k.etag) for k in objects()]
            body = ("\n".join(sorted(lines)) + "\n").encode()
            start_response("200 OK", [("Content-Type", "text/plain"), ("Content-Length", str(len(body)))])
            return [body]
        return app(environ, start_response)

    return wrapped


def keep_address_as_sent():
    """moto checks a signature against the request's address as werkzeug rebuilds it,
    which decodes "%2F" in the query and non-ASCII in a key: every signed listing of a
    folder would fail, boto3's own included. The address stays as sent. (A "+" in a key
    still fails: the server itself decodes the path before anyone sees it.)"""
    import werkzeug.sansio.utils as utils

    utils.uri_to_iri = lambda uri: uri


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bucket", default="site")
    args = ap.parse_args()
    logging.getLogger("werkzeug").setLevel(logging.ERROR)
    keep_address_as_sent()

    original = werkzeug_app.DomainDispatcherApplication

    class App(original):
        def __call__(self, environ, start_response):
            return inspect_app(super().__call__, args.bucket)(environ, start_response)

    import moto.moto_server.threaded_moto_server as threaded
    threaded.DomainDispatcherApplication = App

    server = ThreadedMotoServer("127.0.0.1", 0, verbose=False)
    server.start()
    port = server.get_host_and_port()[1]
    endpoint = "http://127.0.0.1:%d" % port
    unsigned = dict(endpoint_url=endpoint, region_name=REGION, aws_access_key_id="setup",
                    aws_secret_access_key="setup")
    iam = boto3.client("iam", **unsigned)
    iam.create_user(UserName="publisher")
    iam.put_user_policy(UserName="publisher", PolicyName="all", PolicyDocument=json.dumps(
        {"Version": "2012-10-17", "Statement": [{"Effect": "Allow", "Action": "*", "Resource": "*"}]}))
    key = iam.create_access_key(UserName="publisher")["AccessKey"]
    boto3.client("s3", **unsigned).create_bucket(Bucket=args.bucket)
    # From here on every request must carry a valid signature.
    settings.INITIAL_NO_AUTH_ACTION_COUNT = 0
    ActionAuthenticatorMixin.request_count = 0
    print("KEY %s %s" % (key["AccessKeyId"], key["SecretAccessKey"]), flush=True)
    print("READY %d" % port, flush=True)
    server._thread.join()


if __name__ == "__main__":
    main()
