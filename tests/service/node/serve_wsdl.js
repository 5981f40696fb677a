// Serves the generated WSDL with the npm "soap" package and answers Set with a
// chosen r; prints each received xIn as a JSON line.
// usage: node serve_wsdl.js WSDL PORT_FILE R
'use strict';
const fs = require('fs');
const http = require('http');
const soap = require('soap');

const [wsdlPath, portFile, r] = process.argv.slice(2);
const wsdl = fs.readFileSync(wsdlPath, 'utf8');
const service = {
  DeviceConfig: {
    DeviceConfig: {
      Set(args) {
        // xIn carries xsi:type, so the package hands it over with its attributes.
        const xIn = typeof args.xIn === 'object' ? args.xIn.$value : args.xIn;
        process.stdout.write(JSON.stringify({ xIn }) + '\n');
        return { r: Number(r) };
      },
      Get(args) {
        return { xOut: args.xIn };
      },
    },
  },
};
const server = http.createServer((req, res) => {
  res.statusCode = 404;
  res.end();
});
server.listen(0, '127.0.0.1', () => {
  // The service's own prefix is "soap", the package's default envelope prefix.
  soap.listen(server, { path: '/svc', services: service, xml: wsdl, envelopeKey: 'SOAP-ENV' });
  fs.writeFileSync(portFile + '.tmp', String(server.address().port) + '\n');
  fs.renameSync(portFile + '.tmp', portFile);
});
for (const signal of ['SIGTERM', 'SIGINT']) process.on(signal, () => server.close(() => process.exit(0)));
