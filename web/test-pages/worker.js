import { check } from './check.js';

check().then((answer) => postMessage(answer), (error) => postMessage(`error ${error}`));
